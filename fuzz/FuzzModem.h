// FuzzModem.h - a pseudo-terminal modem on /dev/ttySM0 that answers commands with scripted replies.
//
// The plug-in opens the slave as /dev/ttySM0; this side holds the master.
// It answers from the plug-in's own waits: each poll() inside a
// fakeclock::Instant scope first reads the commands written so far and
// queues the reply scripted for each, so the dialogue runs on one thread,
// in the same order every time, with no real waiting.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "FakeClock.h"
#include "FuzzRoot.h"

namespace fuzzmodem {

// The longest reply: well inside what a raw pseudo-terminal buffers, so a
// whole reply is readable before the plug-in reads on.
const std::size_t kMaxReply = 2048;

struct Reply {
    std::string command;  // as sent, with its carriage return
    std::string text;     // queued once, for the first such command
};

class Modem {
public:
    // One pseudo-terminal for the whole run. The slave stays open here too,
    // so the plug-in's close never hangs the line up.
    static Modem& Instance()
    {
        static Modem modem;
        return modem;
    }

    // Clears the line and takes the replies for the next dialogue; they
    // are given while a fakeclock::Instant scope is open. False when the
    // line is unusable or a reply is too long.
    bool Script(std::vector<Reply> replies)
    {
        const auto tooLong = [](const Reply& reply) { return reply.text.size() > kMaxReply; };
        struct termios raw;
        if (m_master < 0 || std::any_of(replies.begin(), replies.end(), tooLong) || tcgetattr(m_slave, &raw) != 0) {
            return false;
        }
        cfmakeraw(&raw);
        tcsetattr(m_slave, TCSANOW, &raw);
        tcflush(m_slave, TCIOFLUSH);
        char sink[512];
        while (read(m_master, sink, sizeof sink) > 0) {
        }
        m_replies = std::move(replies);
        m_heard.clear();
        m_commands.clear();
        fakeclock::tOnWait = &Modem::Answer;
        return true;
    }

    // Commands the plug-in sent in the last dialogue, in order.
    const std::vector<std::string>& Commands() const { return m_commands; }

private:
    Modem()
    {
        const std::string root = fuzzroot::Root();
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            m_master = -1;
            return;
        }
        const char* name = ptsname(m_master);
        m_slave = name != nullptr ? open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
        const std::string link = root + "/dev/ttySM0";
        unlink(link.c_str());
        if (m_slave < 0 || symlink(name, link.c_str()) != 0) {
            m_master = -1;
        }
    }

    static void Answer() { Instance().AnswerCommands(); }

    void AnswerCommands()
    {
        char buffer[256];
        ssize_t got;
        while ((got = read(m_master, buffer, sizeof buffer)) > 0) {
            m_heard.append(buffer, static_cast<std::size_t>(got));
        }
        std::string::size_type end;
        while ((end = m_heard.find('\r')) != std::string::npos) {
            const std::string command = m_heard.substr(0, end + 1);
            m_heard.erase(0, end + 1);
            m_commands.push_back(command);
            for (Reply& reply : m_replies) {
                if (reply.command == command) {
                    Queue(reply.text);
                    reply.command.clear();
                    break;
                }
            }
        }
    }

    // Writes text to the master and waits until the slave can read all of
    // it: a pseudo-terminal passes bytes on asynchronously, and the plug-in
    // must find the whole reply on its next read.
    void Queue(const std::string& text)
    {
        int before = 0;
        ioctl(m_slave, TIOCINQ, &before);
        std::size_t sent = 0;
        while (sent < text.size()) {
            const ssize_t wrote = write(m_master, text.data() + sent, text.size() - sent);
            if (wrote <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(wrote);
        }
        for (int round = 0; round < 5000; ++round) {
            int queued = 0;
            if (ioctl(m_slave, TIOCINQ, &queued) != 0 ||
                static_cast<std::size_t>(queued) >= static_cast<std::size_t>(before) + text.size()) {
                return;
            }
            const struct timespec pause = {0, 10000};
            nanosleep(&pause, nullptr);
        }
    }

    int m_master = -1;
    int m_slave = -1;
    std::vector<Reply> m_replies;
    std::string m_heard;
    std::vector<std::string> m_commands;
};

}  // namespace fuzzmodem
