// HostProcess.h - runs the diaghost binary and collects what it prints.
#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

namespace hosttest {

struct Finished {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;  // on a terminal: everything written to it
    std::string err;
};

// diaghost (the build's, or program) started with the arguments and extra
// environment entries ("NAME=value"), its output on pipes or, onTerminal,
// on a pseudo-terminal.
class RunningHost {
public:
    RunningHost(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                const std::string& program = DIAGHOST_PATH, bool onTerminal = false);
    ~RunningHost();
    RunningHost(const RunningHost&) = delete;
    RunningHost& operator=(const RunningHost&) = delete;

    // Reads until the output contains text or timeoutMs pass; true when seen.
    bool waitFor(const std::string& text, int timeoutMs);
    void signal(int number) { kill(m_pid, number); }
    // Reads to the end and reaps the process.
    Finished finish();

private:
    bool pump(int timeoutMs);

    pid_t m_pid = -1;
    int m_fds[2] = {-1, -1};  // stdout (or the terminal), stderr
    Finished m_result;
};

inline Finished runHost(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                        const std::string& program = DIAGHOST_PATH, bool onTerminal = false)
{
    return RunningHost(args, env, program, onTerminal).finish();
}

}  // namespace hosttest
