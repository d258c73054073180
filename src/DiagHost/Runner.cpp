// Runner.cpp - device runs on a worker thread, reported through the framework's observer to the main thread,
// each with its port's lock (PortLock) held.
#include "Runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <mutex>
#include <poll.h>
#include <thread>

#include "ExitStatus.h"
#include "PluginLog.h"
#include "PortLock.h"
#include "QuarnDiags/DiagnosticSettings.h"

namespace diaghost {

namespace Diag = QuarnDiags::Diag;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kProgressMs = 200;  // while a test runs, its progress is read and redrawn this often

// The longest pause between two asks while waiting for the driver: short
// beside the real release time, long enough not to keep a core busy.
constexpr int kReleasePauseMaxMs = 16;

double secondsBetween(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double>(end - start).count();
}

std::string notRunReason(const DeviceRecord& record, Diag::NotRunReason reason)
{
    switch (reason) {
    case Diag::NOT_SUPPORTED:
        return record.tty.empty() ? "no driver tty (" + record.status + ")" : "not supported by this modem";
    case Diag::HALTED_ON_ERROR: return "not started: halted on an earlier failure";
    case Diag::RUN_ABORTED: return "not started: the run was interrupted";
    }
    return "not started";
}

// One device's run. The framework reports it on the worker thread, which
// hands each step to the main thread as a closure and wakes it; there the
// steps go into the device's record and, with the plug-in's log lines, to
// the view. Only the main thread touches the record, the view and the log.
class DeviceRun : public Diag::IRunObserver {
public:
    DeviceRun(Diag::IDiagnostics& diagnostics, DeviceRecord& record, const PackageConfig& config, RunView& view,
              PluginLog& log, const std::function<bool()>& driverInUse)
        : m_diagnostics(diagnostics), m_record(record), m_config(config), m_view(view), m_log(log),
          m_driverInUse(driverInUse)
    {
    }

    Wakeup& wakeup() { return m_wakeup; }
    bool halted() const { return m_halted; }

    // Main thread: the steps posted since the last call, then the running
    // test's progress. Returns how long to wait for the next step at most.
    int deliver()
    {
        std::vector<std::function<void()>> steps;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            steps.swap(m_steps);
        }
        for (const std::function<void()>& step : steps) {
            step();
        }
        if (m_running < 0) {
            return -1;
        }
        showLog(m_log.take());
        m_view.progress(m_diagnostics.getTestStatus(m_running).getProgress(), secondsBetween(m_started, Clock::now()));
        return kProgressMs;
    }

    // The previous test (or the search for modems) closed its port a moment
    // ago, and the driver may still count it.
    void testStarting(int /*testIndex*/) override
    {
        if (!m_driverInUse) {
            return;
        }
        const auto pause = [this](int ms) {
            poll(nullptr, 0, ms);
            return !m_diagnostics.isAbortRequested();
        };
        double waitedMs = 0.0;
        const bool released = waitForDriver(m_driverInUse, pause, waitedMs);
        if (waitedMs > 0.0) {
            post([=] { m_view.driverWait(waitedMs, released); });
        }
    }
    void testStarted(int testIndex) override
    {
        const Clock::time_point when = Clock::now();
        post([=] {
            m_running = testIndex;
            m_started = when;
            m_events.clear();
            m_testLog.clear();
            m_log.testStarted(m_record.tty);
            m_view.testStarted(testIndex);
        });
    }
    void eventPosted(const Diag::DiagnosticEvent& posted) override
    {
        const EventRecord event{posted.getId(), posted.getType()};
        post([=] {
            m_events.push_back(event);
            // The log lines written before the event come first.
            showLog(m_log.take());
            m_view.event(event);
        });
    }
    void testFinished(int testIndex, const Diag::DiagnosticResult* result) override
    {
        const Clock::time_point when = Clock::now();
        TestRecord test;
        test.index = testIndex;
        test.progress = m_diagnostics.getTestStatus(testIndex).getProgress();
        if (result == nullptr) {
            // A test that returns nothing has not shown the modem to be good.
            test.verdict = Diag::UNUSUAL_STATUS;
        } else {
            test.verdict = result->getResult();
            test.code = result->getId();
            test.type = result->getType();
        }
        post([=]() mutable {
            test.name = m_config.testName(testIndex);
            test.seconds = secondsBetween(m_started, when);
            test.events = m_events;
            showLog(m_log.take(true));
            test.log = m_testLog;
            // The bar's last state: the test may end between two redraws.
            m_view.progress(progressOf(test), test.seconds);
            m_view.testFinished(test);
            m_record.tests.push_back(test);
            m_running = -1;
        });
    }
    void runFinished(const Diag::RunSummary& summary) override
    {
        post([=] {
            m_halted = summary.halted;
            for (const auto& notRun : summary.notRun) {
                m_record.skipped.push_back(
                    SkippedTest{m_config.testName(notRun.first), notRunReason(m_record, notRun.second)});
            }
            if (m_record.tests.empty() && !m_record.skipped.empty()) {
                m_view.skipped(m_record);
            }
            if (m_halted) {
                m_view.notice("Halt on error: no further test starts after this failure.");
            }
        });
    }

private:
    // The running test's log lines go to the view and into its record.
    void showLog(const std::vector<PluginLogLine>& lines)
    {
        for (const PluginLogLine& line : lines) {
            m_testLog.push_back(line.text);
        }
        m_view.logLines(lines);
    }

    void post(std::function<void()> step)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_steps.push_back(std::move(step));
        }
        m_wakeup.notify();
    }

    Diag::IDiagnostics& m_diagnostics;
    DeviceRecord& m_record;
    const PackageConfig& m_config;
    RunView& m_view;
    PluginLog& m_log;
    const std::function<bool()>& m_driverInUse;
    Wakeup m_wakeup;
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_steps;
    // The main thread's own.
    int m_running = -1;
    bool m_halted = false;
    Clock::time_point m_started;
    std::vector<EventRecord> m_events;
    std::vector<std::string> m_testLog;
};

void recordNotRun(DeviceRecord& record, const RunPlan& plan, const PackageConfig& config, const std::string& reason)
{
    for (int testIndex : plan.tests) {
        record.skipped.push_back(SkippedTest{config.testName(testIndex), reason});
    }
}

}  // namespace

bool waitForDriver(const std::function<bool()>& driverInUse, const std::function<bool(int)>& pause,
                   double& waitedMs)
{
    waitedMs = 0.0;
    if (!driverInUse()) {
        return true;
    }
    const Clock::time_point start = Clock::now();
    const Clock::time_point limit = start + std::chrono::milliseconds(kReleaseWaitMs);
    bool busy = true;
    int pauseMs = 1;
    for (Clock::time_point now = start; busy && now < limit; now = Clock::now()) {
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - now).count() + 1;
        if (!pause(static_cast<int>(std::min<long long>(pauseMs, left)))) {
            break;
        }
        pauseMs = std::min(pauseMs * 2, kReleasePauseMaxMs);
        busy = driverInUse();
    }
    waitedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return !busy;
}

void watch(const std::function<void()>& work, const std::function<int()>& tick,
           const std::function<void(int)>& onSignal, Wakeup& wakeup)
{
    std::atomic<bool> done{false};
    std::thread worker([&work, &done, &wakeup] {
        work();
        done.store(true);
        wakeup.notify();
    });
    int timeoutMs = -1;
    while (!done.load()) {
        const int signal = waitForSignal(timeoutMs, wakeup.fd());
        wakeup.clear();
        if (signal != 0) {
            onSignal(signal);
        }
        timeoutMs = tick();
    }
    worker.join();
    tick();
}

bool runPlan(Diag::IDiagnostics& diagnostics, const RunPlan& plan, const PackageConfig& config, RunView& view)
{
    bool interrupted = false;
    bool halted = false;
    auto onSignal = [&](int signal) {
        if (signal != SIGINT || interrupted) {
            view.notice(signal == SIGINT ? "Ctrl-C again: stopping now, without waiting for the running test."
                                         : "Stopped by a signal: stopping now, without waiting for the running test.");
            quitNow(EXIT_SIGNAL_BASE + signal);
        }
        interrupted = true;
        diagnostics.abortDiagnostic();
        view.notice("Ctrl-C: asked the running test to stop; no further test will start. "
                    "Press Ctrl-C again to quit at once.");
    };

    PluginLog log(plan.diagnosticLog);
    for (const Target& target : plan.targets) {
        DeviceRecord& record = *target.record;
        // A Ctrl-C pressed between two devices is taken before the next starts.
        if (const int signal = waitForSignal(0)) {
            onSignal(signal);
        }
        if (interrupted || halted) {
            const Diag::NotRunReason why = halted ? Diag::HALTED_ON_ERROR : Diag::RUN_ABORTED;
            recordNotRun(record, plan, config, notRunReason(record, why));
            continue;
        }
        view.device(record);
        std::unique_ptr<PortLock> lock;
        if (!record.tty.empty()) {
            lock = std::make_unique<PortLock>(plan.lockFolder, record.tty);
            const std::string message = lockMessage(*lock);
            if (lock->state == PortLock::State::Busy) {
                record.lockedByPid = static_cast<int>(lock->holderPid);
                record.lockedByName = lock->holderName;
                recordNotRun(record, plan, config, message);
                view.skipped(record);
                continue;
            }
            if (lock->state == PortLock::State::Unlockable) {
                view.notice(message);
            } else if (!message.empty()) {
                view.detail(message);
            }
        }
        DeviceRun run(diagnostics, record, config, view, log, plan.driverInUse);
        const Diag::DiagnosticSettings settings(plan.haltOnError);
        const auto work = [&] { diagnostics.runTests(target.device, plan.tests, settings, &run); };
        watch(work, [&run] { return run.deliver(); }, onSignal, run.wakeup());
        halted = run.halted();
    }
    return interrupted;
}

}  // namespace diaghost
