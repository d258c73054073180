// Runner.h - runs tests on a worker thread while the main thread shows progress and takes Ctrl-C.
#pragma once

#include <functional>
#include <vector>

#include "PackageConfig.h"
#include "QuarnDiags/IDiagnostics.h"
#include "Records.h"
#include "RunView.h"

namespace diaghost {

// Main thread's pace while work runs: progress is read and events shown
// this often.
constexpr int kTickMs = 100;

// Runs work on a thread of its own. Meanwhile the calling thread waits in
// timed steps of kTickMs, calls tick() after each step and onSignal() with
// each termination signal that arrives (onSignal may end the program).
void watch(const std::function<void()>& work, const std::function<void()>& tick,
           const std::function<void(int)>& onSignal);

// One modem to test and the record its results go to.
struct Target {
    QuarnDiags::DeviceEnum::VirtualDevice* device = nullptr;
    DeviceRecord* record = nullptr;
};

struct RunPlan {
    std::vector<Target> targets;
    std::vector<int> tests;  // test indices, in run order
    bool haltOnError = false;
};

struct RunOutcome {
    bool interrupted = false;  // Ctrl-C: the running test was asked to abort
    bool halted = false;       // halt on error stopped the run
};

// Runs each selected test on each target, one at a time. The first Ctrl-C
// asks the running test to abort and starts no further test; a second one,
// SIGTERM, SIGHUP or a closed output pipe ends the program at once (after
// the cleanups).
RunOutcome runPlan(QuarnDiags::Diag::IDiagnostics& diagnostics, const RunPlan& plan, const PackageConfig& config,
                   RunView& view);

}  // namespace diaghost
