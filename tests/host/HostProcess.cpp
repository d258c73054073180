// HostProcess.cpp - fork/exec of diaghost on pipes or on a pseudo-terminal.
#include "HostProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace hosttest {

namespace {

long long nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// In the child: environment changes, then exec. Never returns.
[[noreturn]] void execHost(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& env)
{
    for (const std::string& entry : env) {
        const std::string::size_type equals = entry.find('=');
        const std::string name = entry.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : entry.substr(equals + 1);
        if (value.empty()) {
            unsetenv(name.c_str());
        } else {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
    // The test runner may have signals blocked or ignored; diaghost must
    // start from the defaults, as from a shell.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGINT, SIG_DFL);

    std::vector<std::string> copies(args);
    copies.insert(copies.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : copies) {
        argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

int decodeStatus(int raw)
{
    if (WIFEXITED(raw)) {
        return WEXITSTATUS(raw);
    }
    return WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
}

// Reads what is there from fd into text; false at end of file.
bool drain(int fd, std::string& text)
{
    char buffer[4096];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
        return true;
    }
    return count < 0 && errno == EINTR;
}

}  // namespace

Finished runHost(const std::vector<std::string>& args, const std::vector<std::string>& env,
                 const std::string& program)
{
    RunningHost host(args, env, program);
    return host.finish();
}

RunningHost::RunningHost(const std::vector<std::string>& args, const std::vector<std::string>& env,
                         const std::string& program)
{
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
        throw std::runtime_error("pipe failed");
    }
    m_pid = fork();
    if (m_pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (m_pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(out[1]);
        close(err[0]);
        close(err[1]);
        execHost(program, args, env);
    }
    close(out[1]);
    close(err[1]);
    m_out = out[0];
    m_err = err[0];
}

RunningHost::~RunningHost()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) {
        close(m_out);
    }
    if (m_err >= 0) {
        close(m_err);
    }
}

bool RunningHost::pump(int timeoutMs)
{
    pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    const int ready = poll(fds, 2, timeoutMs);
    if (ready <= 0) {
        return ready == 0 || errno == EINTR;
    }
    if (fds[0].revents != 0 && m_out >= 0) {
        if (!drain(m_out, m_result.out)) {
            close(m_out);
            m_out = -1;
        }
    }
    if (fds[1].revents != 0 && m_err >= 0) {
        if (!drain(m_err, m_result.err)) {
            close(m_err);
            m_err = -1;
        }
    }
    return m_out >= 0 || m_err >= 0;
}

bool RunningHost::waitFor(const std::string& text, int timeoutMs)
{
    const long long end = nowMs() + timeoutMs;
    auto seen = [this, &text] {
        return m_result.out.find(text) != std::string::npos || m_result.err.find(text) != std::string::npos;
    };
    while (!seen()) {
        const long long left = end - nowMs();
        if (left <= 0 || (m_out < 0 && m_err < 0) || !pump(static_cast<int>(left))) {
            return seen();
        }
    }
    return true;
}

void RunningHost::signal(int number)
{
    kill(m_pid, number);
}

Finished RunningHost::finish()
{
    while (m_out >= 0 || m_err >= 0) {
        if (m_out >= 0 && m_err < 0) {
            pollfd one = {m_out, POLLIN, 0};
            poll(&one, 1, -1);
            if (!drain(m_out, m_result.out)) {
                close(m_out);
                m_out = -1;
            }
            continue;
        }
        pump(-1);
    }
    int raw = 0;
    waitpid(m_pid, &raw, 0);
    m_pid = -1;
    m_result.status = decodeStatus(raw);
    return m_result;
}

Finished runHostOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0) {
        throw std::runtime_error("forkpty failed");
    }
    if (pid == 0) {
        execHost(DIAGHOST_PATH, args, env);
    }
    Finished result;
    // Read until the child has closed its side: a pty answers EIO then.
    for (;;) {
        char buffer[4096];
        const ssize_t count = read(master, buffer, sizeof buffer);
        if (count > 0) {
            result.out.append(buffer, static_cast<std::size_t>(count));
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    close(master);
    int raw = 0;
    waitpid(pid, &raw, 0);
    result.status = decodeStatus(raw);
    return result;
}

}  // namespace hosttest
