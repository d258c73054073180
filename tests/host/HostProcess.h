// HostProcess.h - runs the diaghost binary and collects what it prints.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace hosttest {

struct Finished {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

// Runs diaghost (the build's, or program) with the arguments and extra
// environment entries ("NAME=value"; "NAME=" removes NAME) to its end.
Finished runHost(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                 const std::string& program = DIAGHOST_PATH);

// diaghost running with its output on pipes, for tests that act while it runs.
class RunningHost {
public:
    RunningHost(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                const std::string& program = DIAGHOST_PATH);
    ~RunningHost();
    RunningHost(const RunningHost&) = delete;
    RunningHost& operator=(const RunningHost&) = delete;

    // Reads until stdout or stderr contains text or timeoutMs pass; true
    // when seen.
    bool waitFor(const std::string& text, int timeoutMs);
    void signal(int number);
    // Reads to the end and reaps the process.
    Finished finish();

private:
    bool pump(int timeoutMs);

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    Finished m_result;
};

// Runs diaghost on a pseudo-terminal (80 columns) and returns everything it
// wrote to it (stdout and stderr together) and its exit status.
Finished runHostOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

}  // namespace hosttest
