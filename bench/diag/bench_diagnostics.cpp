// bench_diagnostics.cpp - processor time of whole diagnostics and per-check overhead; prints numbers.
//
//   bench_diagnostics [repetitions]
//
// 1. One whole diagnostic (dial tone, loopback, AT command) on a modem that
//    never answers: wall time and the processor time of the thread that ran
//    it (the virtual modem's own thread is not counted).
// 2. Each test on a modem that answers at once: wall time less the fixed
//    time of the test's dialogue (1500 ms pause after the dial tone check;
//    30 x 100 ms of self test, and the loopback check's last 1000 ms wait
//    for a second "OK" that a modem answering at once never sends), that is
//    what the check itself adds.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "Deadline.h"
#include "ExportClass.h"
#include "ModemDevice.h"
#include "ModemDiagnostic.h"
#include "VirtualModem.h"

using namespace QuarnDiags;

namespace {

double ThreadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

DeviceEnum::VirtualDevice ModemOn(const std::string& tty)
{
    devDetailStruct record;
    std::memset(&record, 0, sizeof record);
    std::strncpy(record.comPort, tty.c_str(), sizeof record.comPort - 1);
    return DeviceEnum::VirtualDevice(
        new ModemDiag::ModemDevice("modem", "modem", "modem", "loc", "loc", record.comPort, 0, &record));
}

}  // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    unsetenv("MODEMDIAG_SYSROOT");
    g_logDirPath = "/nonexistent-bench-log";  // no log file: measure the checks alone

    {
        modemsim::VirtualModem silent(*modemsim::ModemProfile::named("silent"));
        auto device = ModemOn(silent.slavePath());
        ModemDiag::ModemDiagnostic diagnostic(false, DeviceEnum::IDeviceEnumerator::CUSTOMER);
        const Deadline started;
        const double cpu0 = ThreadCpuMs();
        diagnostic.runDiagnostic(&device, Diag::DiagnosticSettings());
        const double cpu = ThreadCpuMs() - cpu0;
        const double wall = started.elapsedMs();
        std::printf("whole diagnostic on a silent modem: wall %.0f ms, processor %.2f ms (%.4f %% of wall)\n", wall,
                    cpu, 100.0 * cpu / wall);
    }

    struct Check {
        const char* name;
        int index;
        double fixedMs;
    };
    const Check checks[] = {
        {"AT command", ModemDiag::ModemDiagnostic::AT_COMMAND_TEST, 0.0},
        {"dial tone", ModemDiag::ModemDiagnostic::DIALTONE_TEST, 1500.0},
        {"loopback", ModemDiag::ModemDiagnostic::LOOPBACK_TEST, 4000.0},
    };
    modemsim::VirtualModem prompt;
    auto device = ModemOn(prompt.slavePath());
    ModemDiag::ModemDiagnostic diagnostic(false, DeviceEnum::IDeviceEnumerator::CUSTOMER);
    for (const Check& check : checks) {
        std::vector<double> overheads;
        for (int i = 0; i < repetitions; ++i) {
            const Deadline started;
            diagnostic.runTest(&device, check.index, Diag::DiagnosticSettings());
            overheads.push_back(started.elapsedMs() - check.fixedMs);
        }
        std::sort(overheads.begin(), overheads.end());
        std::printf("%-10s check beyond its fixed time (%.0f ms), prompt modem: median %.2f ms, max %.2f ms "
                    "(%d runs)\n",
                    check.name, check.fixedMs, overheads[overheads.size() / 2], overheads.back(), repetitions);
    }
    return 0;
}
