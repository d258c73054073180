// Runner.cpp - device runs on a worker thread, reported through the framework's observer to the main thread.
#include "Runner.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <thread>

#include "ExitStatus.h"
#include "PortLock.h"
#include "QuarnDiags/DiagnosticSettings.h"

namespace diaghost {

using QuarnDiags::Diag::DiagnosticEvent;
using QuarnDiags::Diag::DiagnosticResult;
using QuarnDiags::Diag::IDiagnostics;
using QuarnDiags::Diag::NotRunReason;
using QuarnDiags::Diag::RunSummary;

namespace {

double secondsBetween(std::chrono::steady_clock::time_point start, std::chrono::steady_clock::time_point end)
{
    return std::chrono::duration<double>(end - start).count();
}

// The longest pause between two asks while waiting for the driver: short
// beside the real release time, long enough not to keep a core busy.
constexpr int kReleasePauseMaxMs = 16;

// Hears the run on the worker thread and hands each step to the main
// thread, waking it.
class Mailbox : public QuarnDiags::Diag::IRunObserver {
public:
    Mailbox(IDiagnostics& diagnostics, Wakeup& wakeup, const std::function<bool()>& driverInUse)
        : m_diagnostics(diagnostics), m_wakeup(wakeup), m_driverInUse(driverInUse)
    {
    }

    // The previous test (or the search for modems) closed its port a moment
    // ago; the driver may still count it. Wait until the driver is free,
    // the time is up or the run is being aborted.
    void testStarting(int testIndex) override
    {
        if (!m_driverInUse) {
            return;
        }
        RunMessage message;
        message.kind = RunMessage::Waited;
        message.testIndex = testIndex;
        message.released = waitForDriver(m_driverInUse,
                                          [this](int ms) {
                                              poll(nullptr, 0, ms);
                                              return !m_diagnostics.isAbortRequested();
                                          },
                                          message.waitedMs);
        if (message.waitedMs > 0.0) {
            post(message);
        }
    }

    void testStarted(int testIndex) override
    {
        RunMessage message;
        message.kind = RunMessage::Started;
        message.testIndex = testIndex;
        m_started = message.when;
        post(message);
    }
    void eventPosted(const DiagnosticEvent& event) override
    {
        RunMessage message;
        message.kind = RunMessage::Event;
        message.testIndex = event.getTestIndex();
        message.event.code = event.getId();
        message.event.type = event.getType();
        message.event.timeMs = event.getTimeMs();
        post(message);
    }
    void testFinished(int testIndex, const DiagnosticResult* result) override
    {
        RunMessage message;
        message.kind = RunMessage::Finished;
        message.testIndex = testIndex;
        message.test.index = testIndex;
        message.test.seconds = secondsBetween(m_started, message.when);
        message.test.progress = m_diagnostics.getTestStatus(testIndex).getProgress();
        if (result == nullptr) {
            // A test that returns nothing has not shown the modem to be good.
            message.test.verdict = QuarnDiags::Diag::UNUSUAL_STATUS;
        } else {
            message.test.verdict = result->getResult();
            message.test.code = result->getId();
            message.test.type = result->getType();
        }
        post(message);
    }
    void runFinished(const RunSummary& summary) override
    {
        RunMessage message;
        message.kind = RunMessage::Ended;
        message.summary = summary;
        post(message);
    }

    std::vector<RunMessage> take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<RunMessage> messages;
        messages.swap(m_messages);
        return messages;
    }

private:
    void post(const RunMessage& message)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_messages.push_back(message);
        }
        m_wakeup.notify();
    }

    IDiagnostics& m_diagnostics;
    Wakeup& m_wakeup;
    const std::function<bool()>& m_driverInUse;
    std::chrono::steady_clock::time_point m_started;
    std::mutex m_mutex;
    std::vector<RunMessage> m_messages;
};

}  // namespace

bool waitForDriver(const std::function<bool()>& driverInUse, const std::function<bool(int)>& pause,
                   double& waitedMs)
{
    using Clock = std::chrono::steady_clock;
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
        const int signal = waitForSignal(timeoutMs, {wakeup.fd()});
        wakeup.clear();
        if (signal != 0) {
            onSignal(signal);
        }
        timeoutMs = tick();
    }
    worker.join();
    tick();
}

std::string notRunReason(const DeviceRecord& record, NotRunReason reason)
{
    switch (reason) {
    case QuarnDiags::Diag::NOT_SUPPORTED:
        return record.tty.empty() ? "no driver tty (" + record.status + ")" : "not supported by this modem";
    case QuarnDiags::Diag::HALTED_ON_ERROR: return "not started: halted on an earlier failure";
    case QuarnDiags::Diag::RUN_ABORTED: return "not started: the run was interrupted";
    }
    return "not started";
}

void recordNotStarted(DeviceRecord& record, const std::vector<int>& tests, const PackageConfig& config,
                      NotRunReason reason)
{
    for (int testIndex : tests) {
        record.skipped.push_back(SkippedTest{config.testName(testIndex), notRunReason(record, reason)});
    }
}

void RunFollower::apply(const RunMessage& message)
{
    switch (message.kind) {
    case RunMessage::Waited:
        m_view.driverWait(message.waitedMs, message.released);
        break;
    case RunMessage::Started:
        m_running = message.testIndex;
        m_started = message.when;
        m_events.clear();
        m_view.testStarted(m_record, message.testIndex);
        break;
    case RunMessage::Event:
        m_events.push_back(message.event);
        m_view.event(message.event);
        break;
    case RunMessage::Progress:
        if (m_running >= 0) {
            m_view.progress(message.percent, secondsBetween(m_started, message.when));
        }
        break;
    case RunMessage::Finished: {
        TestRecord test = message.test;
        test.index = message.testIndex;
        test.name = m_config.testName(message.testIndex);
        test.events = m_events;
        // The bar's last state: the test may end between two redraws.
        m_view.progress(test.progress, test.seconds);
        m_view.testFinished(test);
        m_record.tests.push_back(test);
        m_running = -1;
        break;
    }
    case RunMessage::Ended:
        m_ended = true;
        m_running = -1;
        for (const auto& notRun : message.summary.notRun) {
            m_record.skipped.push_back(SkippedTest{m_config.testName(notRun.first), notRunReason(m_record, notRun.second)});
        }
        if (m_record.tests.empty() && !m_record.skipped.empty()) {
            m_view.skipped(m_record);
        }
        if (message.summary.halted) {
            m_view.notice("Halt on error: no further test starts after this failure.");
        }
        break;
    }
}

RunSummary runDevice(IDiagnostics& diagnostics, QuarnDiags::DeviceEnum::VirtualDevice* device,
                     const std::vector<int>& tests, bool haltOnError, const std::function<bool()>& driverInUse,
                     const std::function<void(const RunMessage&)>& take, const std::function<void(int)>& onSignal)
{
    RunSummary summary;
    int running = -1;
    const QuarnDiags::Diag::DiagnosticSettings settings(haltOnError);
    Wakeup wakeup;
    Mailbox box(diagnostics, wakeup, driverInUse);
    watch([&] { diagnostics.runTests(device, tests, settings, &box); },
        [&]() {
            for (const RunMessage& message : box.take()) {
                if (message.kind == RunMessage::Started) {
                    running = message.testIndex;
                } else if (message.kind == RunMessage::Finished) {
                    running = -1;
                } else if (message.kind == RunMessage::Ended) {
                    summary = message.summary;
                }
                take(message);
            }
            if (running < 0) {
                return -1;
            }
            RunMessage progress;
            progress.kind = RunMessage::Progress;
            progress.testIndex = running;
            progress.percent = diagnostics.getTestStatus(running).getProgress();
            take(progress);
            return kProgressMs;
        },
        onSignal, wakeup);
    return summary;
}

void noticeInterrupt(RunView& view)
{
    view.notice("Ctrl-C: asked the running test to stop; no further test will start. "
                "Press Ctrl-C again to quit at once.");
}

void stopNow(RunView& view, int signal)
{
    view.notice(signal == SIGINT ? "Ctrl-C again: stopping now, without waiting for the running test."
                                 : "Stopped by a signal: stopping now, without waiting for the running test.");
    quitNow(EXIT_SIGNAL_BASE + signal);
}

RunOutcome runPlan(IDiagnostics& diagnostics, const RunPlan& plan, const PackageConfig& config, RunView& view)
{
    RunOutcome outcome;
    auto onSignal = [&](int signal) {
        if (signal != SIGINT || outcome.interrupted) {
            stopNow(view, signal);
        }
        outcome.interrupted = true;
        diagnostics.abortDiagnostic();
        noticeInterrupt(view);
    };

    for (const Target& target : plan.targets) {
        DeviceRecord& record = *target.record;
        // A Ctrl-C pressed between two devices is taken before the next starts.
        if (const int signal = waitForSignal(0)) {
            onSignal(signal);
        }
        if (outcome.interrupted || outcome.halted) {
            recordNotStarted(record, plan.tests, config,
                             outcome.halted ? QuarnDiags::Diag::HALTED_ON_ERROR : QuarnDiags::Diag::RUN_ABORTED);
            continue;
        }
        view.device(record);
        std::unique_ptr<PortLock> lock;
        if (!record.tty.empty() && !plan.lockFolder.empty()) {
            lock = std::make_unique<PortLock>(plan.lockFolder, record.tty);
            if (lock->state() == PortLock::State::Busy) {
                record.lockedByPid = static_cast<int>(lock->holderPid());
                record.lockedByName = lock->holderName();
                const std::string reason =
                    "locked by PID " + std::to_string(record.lockedByPid) + " (" + record.lockedByName + ")";
                for (int testIndex : plan.tests) {
                    record.skipped.push_back(SkippedTest{config.testName(testIndex), reason});
                }
                view.skipped(record);
                continue;
            }
            if (lock->state() == PortLock::State::Unlockable) {
                view.notice("Cannot lock " + record.tty + " (" + lockPath(plan.lockFolder, record.tty) +
                            "): " + lock->error() + "; testing without the lock.");
            } else if (lock->removedStale()) {
                view.detail("Removed a stale lock of " + record.tty + ": " +
                            (lock->stalePid() != 0 ? "its process " + std::to_string(lock->stalePid()) + " is gone."
                                                   : "it names no process."));
            }
        }
        RunFollower follower(record, config, view);
        const RunSummary summary = runDevice(diagnostics, target.device, plan.tests, plan.haltOnError,
                                             plan.driverInUse,
                                             [&follower](const RunMessage& message) { follower.apply(message); },
                                             onSignal);
        outcome.halted = summary.halted;
    }
    return outcome;
}

}  // namespace diaghost
