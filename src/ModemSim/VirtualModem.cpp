// VirtualModem.cpp - a pseudo-terminal whose master side a thread serves as a modem.
#include "VirtualModem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "Deadline.h"
#include "ModemAnswers.h"

namespace modemsim {

namespace {

// A command line longer than this is cut; no real dialogue comes close.
const std::size_t kMaxLineLength = 512;

[[noreturn]] void Fail(const char* what)
{
    throw std::runtime_error(std::string("virtual modem: ") + what + ": " + std::strerror(errno));
}

// Bytes due on the line at a given time; a hang-up closes the line instead.
struct Output {
    Deadline due;
    std::string bytes;
    bool hangUp;
};

}  // namespace

struct VirtualModem::Impl {
    int master = -1;
    int slave = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::string slavePath;

    mutable std::mutex mutex;  // guards profile and received
    ModemProfile profile;
    std::vector<std::string> received;

    // Used by the serving thread alone.
    ModemState state;
    std::string pendingLine;
    std::deque<Output> outputs;
    Deadline busyUntil;  // when the last queued answer goes out
    std::thread thread;

    void openPty();
    void serve();
    bool sendDue(bool& blocked);
    void receive(const char* bytes, std::size_t count);
    void answer(const std::string& line);
    void queue(const Deadline& due, std::string bytes, bool hangUp = false);
    void closeFd(int& fd);
};

void VirtualModem::Impl::closeFd(int& fd)
{
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

void VirtualModem::Impl::openPty()
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        Fail("posix_openpt");
    }
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        Fail("pseudo-terminal slave");
    }
    slavePath = name;
    if (fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        Fail("fcntl");
    }
    // Our own slave descriptor keeps the tty alive between client opens, so
    // settings made by one client are still there for the next, and the
    // master never sees a hang-up while no client is connected.
    slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        Fail(name);
    }
    // Raw from the start: a cooked tty would echo our answers back to us
    // and turn the carriage returns a client reads into line feeds.
    struct termios raw;
    if (tcgetattr(slave, &raw) != 0) {
        Fail("tcgetattr");
    }
    cfmakeraw(&raw);
    if (tcsetattr(slave, TCSANOW, &raw) != 0) {
        Fail("tcsetattr");
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        Fail("pipe2");
    }
    wakeRead = wake[0];
    wakeWrite = wake[1];
}

void VirtualModem::Impl::queue(const Deadline& due, std::string bytes, bool hangUp)
{
    outputs.push_back(Output{due, std::move(bytes), hangUp});
}

void VirtualModem::Impl::answer(const std::string& line)
{
    ModemProfile current;
    {
        std::lock_guard<std::mutex> lock(mutex);
        received.push_back(line);
        current = profile;
    }
    CommandFault fault;
    if (const CommandFault* found = current.faultFor(line)) {
        fault = *found;
    }

    // A modem busy with an earlier command reads this one only when it is
    // done, so the echo and the answer both wait for the earlier answer:
    // late replies stay late, and everything stays in order.
    const Deadline start = busyUntil.after(0);
    if (state.echo) {
        queue(start, line + "\r");
    }
    LineAnswer reply;
    if (fault.error) {
        reply.text = Framed("ERROR");
    } else {
        reply = AnswerLine(line, current, state);
    }
    const int delayMs = (fault.delayMs > 0 ? fault.delayMs : 0) + reply.delayMs;
    const Deadline due = start.after(static_cast<std::int64_t>(delayMs) * 1000);
    busyUntil = due;

    if (fault.hangUp) {
        queue(due, std::string(), true);
    } else if (fault.silent) {
        return;
    } else if (!fault.garbage.empty()) {
        queue(due, fault.garbage);
    } else if (!reply.text.empty()) {
        std::string text = reply.text;
        if (fault.noLineEnds) {
            std::string bare;
            for (char c : text) {
                if (c != '\r' && c != '\n') {
                    bare += c;
                }
            }
            text = bare;
        }
        queue(due, text);
    }
}

void VirtualModem::Impl::receive(const char* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == '\r') {
            if (!pendingLine.empty()) {
                answer(pendingLine);
            }
            pendingLine.clear();
        } else if (c != '\n' && pendingLine.size() < kMaxLineLength) {
            pendingLine += c;
        }
    }
}

// Writes what is due. Returns false once the line has hung up; sets blocked
// when the client's input queue is full and the rest must wait for room.
bool VirtualModem::Impl::sendDue(bool& blocked)
{
    blocked = false;
    while (!outputs.empty() && outputs.front().due.expired()) {
        Output& next = outputs.front();
        if (next.hangUp) {
            // Closing the master hangs up every slave descriptor: the client
            // then reads end-of-file and no new open succeeds.
            closeFd(master);
            outputs.clear();
            return false;
        }
        while (!next.bytes.empty()) {
            const ssize_t written = write(master, next.bytes.data(), next.bytes.size());
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    blocked = true;
                    return true;
                }
                // The line is gone; nothing more can be said on it.
                closeFd(master);
                outputs.clear();
                return false;
            }
            next.bytes.erase(0, static_cast<std::size_t>(written));
        }
        outputs.pop_front();
    }
    return true;
}

void VirtualModem::Impl::serve()
{
    bool lineUp = true;
    for (;;) {
        bool blocked = false;
        if (lineUp) {
            lineUp = sendDue(blocked);
        }
        int timeoutMs = -1;
        if (lineUp && !blocked && !outputs.empty()) {
            timeoutMs = outputs.front().due.pollTimeoutMs();
        }
        struct pollfd fds[2];
        fds[0].fd = wakeRead;
        fds[0].events = POLLIN;
        fds[0].revents = 0;
        fds[1].fd = lineUp ? master : -1;
        fds[1].events = static_cast<short>(POLLIN | (blocked ? POLLOUT : 0));
        fds[1].revents = 0;
        if (poll(fds, 2, timeoutMs) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0) {
            return;  // asked to stop
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            char bytes[256];
            const ssize_t got = read(master, bytes, sizeof bytes);
            if (got > 0) {
                receive(bytes, static_cast<std::size_t>(got));
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // Cannot happen while our own slave is open; stop serving
                // rather than spin on a dead line.
                closeFd(master);
                lineUp = false;
            }
        }
    }
}

VirtualModem::VirtualModem(ModemProfile profile) : m_impl(std::make_unique<Impl>())
{
    m_impl->profile = std::move(profile);
    try {
        m_impl->openPty();
    } catch (...) {
        m_impl->closeFd(m_impl->master);
        m_impl->closeFd(m_impl->slave);
        m_impl->closeFd(m_impl->wakeRead);
        m_impl->closeFd(m_impl->wakeWrite);
        throw;
    }
    Impl* impl = m_impl.get();
    m_impl->thread = std::thread([impl] { impl->serve(); });
}

VirtualModem::~VirtualModem()
{
    const char stop = 1;
    while (write(m_impl->wakeWrite, &stop, 1) < 0 && errno == EINTR) {
    }
    m_impl->thread.join();
    m_impl->closeFd(m_impl->master);
    m_impl->closeFd(m_impl->slave);
    m_impl->closeFd(m_impl->wakeRead);
    m_impl->closeFd(m_impl->wakeWrite);
}

const std::string& VirtualModem::slavePath() const
{
    return m_impl->slavePath;
}

int VirtualModem::ownSlaveDescriptor() const
{
    return m_impl->slave;
}

void VirtualModem::setProfile(const ModemProfile& profile)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->profile = profile;
}

std::vector<std::string> VirtualModem::commands() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->received;
}

}  // namespace modemsim
