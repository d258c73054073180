// HostProcess.h - runs the diaghost binary on pipes or a pseudo-terminal and collects what it prints.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace hosttest {

struct Finished {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;  // on a terminal: everything written to it
    std::string err;
};

// diaghost (the build's, or program) started with the arguments and extra
// environment entries ("NAME=value"), its output on pipes or, given a
// number of columns, on a pseudo-terminal that wide.
class RunningHost {
public:
    RunningHost(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                const std::string& program = DIAGHOST_PATH, unsigned short columns = 0)
    {
        int out[2], err[2];
        if (columns != 0) {
            winsize size{40, columns, 0, 0};
            m_pid = forkpty(&m_fds[0], nullptr, nullptr, &size);
        } else if (pipe2(out, O_CLOEXEC) == 0 && pipe2(err, O_CLOEXEC) == 0) {
            // Close-on-exec keeps the write ends out of diaghost's and every
            // other child, so that the reads here end when diaghost does.
            if ((m_pid = fork()) == 0) {
                dup2(out[1], 1);
                dup2(err[1], 2);
            }
            close(out[1]);
            close(err[1]);
            m_fds[0] = out[0];
            m_fds[1] = err[0];
        }
        if (m_pid == 0) {
            for (const std::string& entry : env) {
                putenv(const_cast<char*>(entry.c_str()));  // this child's copy lives until exec
            }
            // The test runner may block or ignore signals; diaghost starts from the defaults, as from a shell.
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(SIGINT, SIG_DFL);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const std::string& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        if (m_pid < 0) {
            throw std::runtime_error("cannot start " + program);
        }
    }
    // A test that gives up on diaghost still ends it and closes the outputs.
    ~RunningHost()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            finish();
        }
    }
    RunningHost(const RunningHost&) = delete;
    RunningHost& operator=(const RunningHost&) = delete;

    // Reads until the output contains text or timeoutMs pass; true when seen.
    bool waitFor(const std::string& text, int timeoutMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        auto seen = [&] { return (m_result.out + m_result.err).find(text) != std::string::npos; };
        // Short reads, so that the time limit holds however quiet diaghost is.
        while (!seen() && std::chrono::steady_clock::now() < end && pump(100)) {
        }
        return seen();
    }
    pid_t pid() const { return m_pid; }
    // Keys typed on the terminal: "\x03" is Ctrl-C,
    // which the terminal also echoes as "^C".
    void type(const std::string& keys) { (void)!write(m_fds[0], keys.data(), keys.size()); }
    // Reads to the end and reaps the process.
    Finished finish()
    {
        while (pump(-1)) {
        }
        int raw = 0;
        waitpid(m_pid, &raw, 0);
        m_pid = -1;
        m_result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        return m_result;
    }

private:
    // Reads what the outputs have; a pipe gives end of file, a pseudo-terminal
    // EIO, once diaghost is gone. False when both are closed.
    bool pump(int timeoutMs)
    {
        pollfd fds[2] = {{m_fds[0], POLLIN, 0}, {m_fds[1], POLLIN, 0}};
        poll(fds, 2, timeoutMs);
        std::string* texts[2] = {&m_result.out, &m_result.err};
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t count = read(m_fds[i], buffer, sizeof buffer);
            if (count > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                close(m_fds[i]);
                m_fds[i] = -1;
            }
        }
        return m_fds[0] >= 0 || m_fds[1] >= 0;
    }

    pid_t m_pid = -1;
    int m_fds[2] = {-1, -1};  // stdout (or the terminal), stderr
    Finished m_result;
};

inline Finished runHost(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                        const std::string& program = DIAGHOST_PATH, unsigned short columns = 0)
{
    return RunningHost(args, env, program, columns).finish();
}

// What a terminal shows after the bytes were written to it: its rows,
// scrolled-off ones included, unwrapped, and the most characters a row ever
// held (more than the width wrap). It knows what diaghost sends: text, CR,
// LF, erase line (always after a CR), colours and cursor visibility.
struct Screen {
    std::string text;
    std::size_t widest = 0;
};

inline Screen showOnTerminal(const std::string& bytes)
{
    std::string plain = std::regex_replace(bytes, std::regex("\r\033\\[2K"), "\r\f");
    plain = std::regex_replace(plain, std::regex("\033\\[[0-9;?]*[A-Za-z]"), "");
    Screen screen;
    std::size_t row = 0;     // where the cursor's row starts in the text
    std::size_t column = 0;  // in bytes: a UTF-8 character overwrites one of the same length
    for (const char c : plain) {
        if (c == '\n') {
            screen.text += '\n';
            row = screen.text.size();
        }
        if (c == '\n' || c == '\r') {
            column = 0;
        } else if (c == '\f') {
            screen.text.erase(row);
        } else {
            screen.text.replace(row + column++, 1, 1, c);
            const auto characters = std::count_if(screen.text.begin() + static_cast<std::ptrdiff_t>(row),
                                                  screen.text.end(), [](char b) { return (b & 0xC0) != 0x80; });
            screen.widest = std::max(screen.widest, static_cast<std::size_t>(characters));
        }
    }
    return screen;
}

}  // namespace hosttest
