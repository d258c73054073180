// Runner.h - runs each modem's tests through the framework on a worker thread; the main thread shows what the run reports.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "PackageConfig.h"
#include "QuarnDiags/IDiagnostics.h"
#include "Records.h"
#include "RunView.h"
#include "Signals.h"

namespace diaghost {

// While a test runs, its progress is read and redrawn this often.
constexpr int kProgressMs = 200;

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

// One step of a device's run as the framework reports it, or the progress
// of the running test as the main thread reads it.
struct RunMessage {
    enum Kind { Waited, Started, Event, Progress, Finished, Ended };
    Kind kind = Started;
    std::chrono::steady_clock::time_point when = std::chrono::steady_clock::now();
    int testIndex = -1;
    EventRecord event;                     // Event
    QuarnDiags::Uint percent = 0;          // Progress
    TestRecord test;                       // Finished: verdict, code, type, progress, seconds
    QuarnDiags::Diag::RunSummary summary;  // Ended
    double waitedMs = 0.0;                 // Waited: before the test, for the driver
    bool released = true;                  // Waited: the driver was free in the end
};

// Turns a device's messages into its record and into what the view shows.
class RunFollower {
public:
    RunFollower(DeviceRecord& record, const PackageConfig& config, RunView& view)
        : m_record(record), m_config(config), m_view(view)
    {
    }
    void apply(const RunMessage& message);
    bool testRunning() const { return m_running >= 0; }
    bool ended() const { return m_ended; }

private:
    DeviceRecord& m_record;
    const PackageConfig& m_config;
    RunView& m_view;
    int m_running = -1;
    std::chrono::steady_clock::time_point m_started;
    std::vector<EventRecord> m_events;
    bool m_ended = false;
};

// Why a chosen test did not run, in words for the reports.
std::string notRunReason(const DeviceRecord& record, QuarnDiags::Diag::NotRunReason reason);

// Records every chosen test as not run, for a device whose run never started.
void recordNotStarted(DeviceRecord& record, const std::vector<int>& tests, const PackageConfig& config,
                      QuarnDiags::Diag::NotRunReason reason);

// Runs the chosen tests on one device with the framework's policy, on a
// worker thread. Before each test, while driverInUse (when given) answers
// true, the worker waits for it, up to kReleaseWaitMs, blocking between the
// asks, and reports the wait as a Waited message. The calling thread hands
// each message to take() as it comes, a Progress message every kProgressMs
// while a test runs, and each termination signal to onSignal. Returns how
// the run went.
QuarnDiags::Diag::RunSummary runDevice(QuarnDiags::Diag::IDiagnostics& diagnostics,
                                       QuarnDiags::DeviceEnum::VirtualDevice* device, const std::vector<int>& tests,
                                       bool haltOnError, const std::function<bool()>& driverInUse,
                                       const std::function<void(const RunMessage&)>& take,
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
    // The plug-in's "is the modem driver in use?"; empty: never wait
    // before a test (the driver was busy before the run began, or the
    // plug-in cannot tell).
    std::function<bool()> driverInUse;
    // Where the ports' LCK..<tty> files live; empty: no locking.
    std::string lockFolder;
};

struct RunOutcome {
    bool interrupted = false;  // Ctrl-C: the running test was asked to abort
    bool halted = false;       // halt on error stopped the run
};

// The first Ctrl-C's notice, and the way out for the second one, SIGTERM,
// SIGHUP or a closed output pipe: end the program at once (after the
// cleanups).
void noticeInterrupt(RunView& view);
[[noreturn]] void stopNow(RunView& view, int signal);

// Runs the selected tests on each target, one device run after another
// (never side by side: the driver's use count is machine-wide, so tests
// running at once would find each other's ports in use). A modem whose
// port another live program has locked is not tested; while a modem is
// tested, its lock is ours. The first Ctrl-C asks the running test to
// abort, once; the framework then starts no further test, and no further
// device is started.
RunOutcome runPlan(QuarnDiags::Diag::IDiagnostics& diagnostics, const RunPlan& plan, const PackageConfig& config,
                   RunView& view);

}  // namespace diaghost
