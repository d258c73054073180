// Runner.h - each modem's tests run on a worker thread; the main thread shows what the run reports.
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
// pause(ms) (which blocks 1, 2, 4 ... 16 ms) returns false (an abort).
// Returns whether the driver was free in the end, and the time it took.
bool waitForDriver(const std::function<bool()>& driverInUse, const std::function<bool(int)>& pause,
                   double& waitedMs);

// Runs work on a thread of its own while the calling thread blocks until a
// termination signal (handed to onSignal), a wakeup or the work's end, then
// calls tick(), which returns the next wait's limit (-1: none). tick() is
// called once more after the work has ended.
void watch(const std::function<void()>& work, const std::function<int()>& tick,
           const std::function<void(int)>& onSignal, Wakeup& wakeup);

struct Target {
    QuarnDiags::DeviceEnum::VirtualDevice* device = nullptr;
    DeviceRecord* record = nullptr;
};

struct RunPlan {
    std::vector<Target> targets;
    std::vector<int> tests;  // test indices, in run order
    bool haltOnError = false;
    std::function<bool()> driverInUse;  // empty: never wait before a test (the driver was busy before the run)
    std::string lockFolder;     // where the ports' LCK..<tty> files live
    std::string diagnosticLog;  // the plug-in's log, shown under its tests
};

// Runs the selected tests on each target, one device after another (the
// driver's use count is machine-wide: tests side by side would find each
// other's ports in use), not on a port another live program has locked. The
// first Ctrl-C aborts the running test and starts no further one; a second,
// SIGTERM, SIGHUP or a closed output pipe ends the program after the
// cleanups. Returns whether Ctrl-C interrupted the run.
bool runPlan(QuarnDiags::Diag::IDiagnostics& diagnostics, const RunPlan& plan, const PackageConfig& config,
             RunView& view);

}  // namespace diaghost
