// Runner.h - runs each modem's tests through the framework on a worker thread; the main thread shows what the run reports.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "PackageConfig.h"
#include "QuarnDiags/IDiagnostics.h"
#include "Records.h"
#include "RunView.h"
#include "Signals.h"

namespace diaghost {

// The system releases a closed tty's hold on its driver a moment after the
// close (about a millisecond on a real machine), and every test first asks
// whether the driver is in use. Before each test the run waits at most this
// long for that answer to become "no".
constexpr int kReleaseWaitMs = 1000;

// Asks driverInUse until it answers false, kReleaseWaitMs have passed or
// pause() gives up, pausing 1, 2, 4 ... 16 ms between the asks through
// pause(ms), which blocks that long and returns false to stop waiting (an
// abort). Returns whether the driver was free in the end; waitedMs is the
// time the wait took (0 when the first answer was "free").
bool waitForDriver(const std::function<bool()>& driverInUse, const std::function<bool(int)>& pause,
                   double& waitedMs);

// Runs work on a thread of its own. Meanwhile the calling thread blocks in
// the kernel until a termination signal arrives (handed to onSignal, which
// may end the program), the work notifies wakeup, or the work ends; then it
// calls tick(), which returns how long the next wait may last at most (-1:
// no limit). tick() is called once more after the work has ended.
void watch(const std::function<void()>& work, const std::function<int()>& tick,
           const std::function<void(int)>& onSignal, Wakeup& wakeup);

// One modem to test and the record its results go to.
struct Target {
    QuarnDiags::DeviceEnum::VirtualDevice* device = nullptr;
    DeviceRecord* record = nullptr;
};

struct RunPlan {
    std::vector<Target> targets;
    std::vector<int> tests;  // test indices, in run order
    bool haltOnError = false;
    // The plug-in's "is the modem driver in use?"; empty: never wait
    // before a test (the driver was busy before the run began).
    std::function<bool()> driverInUse;
    // Where the ports' LCK..<tty> files live.
    std::string lockFolder;
    // The plug-in's diagnostic log, whose lines are shown under their tests.
    std::string diagnosticLog;
};

// Runs the selected tests on each target, one device run after another
// (never side by side: the driver's use count is machine-wide, so tests
// running at once would find each other's ports in use), with the
// framework's policy. A modem whose port another live program has locked
// is not tested; while a modem is tested, its lock is ours. The first
// Ctrl-C asks the running test to abort, once; the framework then starts no
// further test, and no further device is started. A second Ctrl-C, SIGTERM,
// SIGHUP or a closed output pipe ends the program at once (after the
// cleanups). Returns whether Ctrl-C interrupted the run.
bool runPlan(QuarnDiags::Diag::IDiagnostics& diagnostics, const RunPlan& plan, const PackageConfig& config,
             RunView& view);

}  // namespace diaghost
