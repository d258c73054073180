// DiscoveryMachine.h - the simulated 40-function machine of the discovery benchmarks, and quiet program runs.
#pragma once

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "SimulatedRoot.h"

namespace benchtree {

const int kFunctions = 40;
const int kModems = 4;

// 40 functions on buses 0 to 7: the usual chipset, 4 modems spread over
// the buses, and other devices filling up the rest.
inline void BuildMachine(modemsim::SimulatedRoot& root)
{
    root.addChipset();
    root.addModem(0, 9);
    root.addModem(2, 4);
    root.addModem(5, 1, 1);
    root.addModem(7, 31);
    int added = static_cast<int>(root.functions().size());
    for (int i = 0; added < kFunctions; ++i) {
        modemsim::PciFunction other;
        other.bus = 2 + i % 6;
        other.device = 8 + i / 6;
        other.vendorId = 0x10EC;
        other.deviceId = static_cast<std::uint16_t>(0x8100 + i);
        other.classCode = 0x020000;
        root.addFunction(other);
        ++added;
    }
}

// Runs a program with its output thrown away; false when it failed. Its
// processor time goes to usage when given.
inline bool Run(const std::vector<std::string>& argv, struct rusage* usage = nullptr)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    wait4(pid, &status, 0, usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline bool HaveCommand(const char* name)
{
    const std::string check = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(check.c_str()) == 0;
}

}  // namespace benchtree
