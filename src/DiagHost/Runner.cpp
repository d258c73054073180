// Runner.cpp - one test at a time on a worker thread, watched by the main thread.
#include "Runner.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

#include "ExitStatus.h"
#include "QuarnDiags/DiagnosticSettings.h"
#include "Signals.h"

namespace diaghost {

using QuarnDiags::Diag::DiagnosticEvent;
using QuarnDiags::Diag::IDiagnostics;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

EventRecord toRecord(const DiagnosticEvent& event)
{
    EventRecord record;
    record.code = event.getId();
    record.type = event.getType();
    record.timeMs = event.getTimeMs();
    return record;
}

// Events handed over by the listener on the worker thread, shown by the
// main thread at its next tick.
class EventMailbox {
public:
    void post(const DiagnosticEvent& event)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(toRecord(event));
    }
    std::vector<EventRecord> take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<EventRecord> events;
        events.swap(m_events);
        return events;
    }

private:
    std::mutex m_mutex;
    std::vector<EventRecord> m_events;
};

[[noreturn]] void stopNow(RunView& view, int signal)
{
    view.notice(signal == SIGINT ? "Ctrl-C again: stopping now, without waiting for the running test."
                                 : "Stopped by a signal: stopping now, without waiting for the running test.");
    quitNow(EXIT_SIGNAL_BASE + signal);
}

}  // namespace

void watch(const std::function<void()>& work, const std::function<void()>& tick,
           const std::function<void(int)>& onSignal)
{
    std::atomic<bool> done{false};
    std::thread worker([&work, &done] {
        work();
        done.store(true);
    });
    while (!done.load()) {
        const int signal = waitForSignal(kTickMs);
        if (signal != 0) {
            onSignal(signal);
        }
        tick();
    }
    worker.join();
}

RunOutcome runPlan(IDiagnostics& diagnostics, const RunPlan& plan, const PackageConfig& config, RunView& view)
{
    RunOutcome outcome;
    EventMailbox mailbox;
    diagnostics.setEventListener([&mailbox](const DiagnosticEvent& event) { mailbox.post(event); });
    const QuarnDiags::Diag::DiagnosticSettings settings(plan.haltOnError);

    auto onSignal = [&](int signal) {
        if (signal != SIGINT || outcome.interrupted) {
            stopNow(view, signal);
        }
        outcome.interrupted = true;
        diagnostics.abortDiagnostic();
        view.notice("Ctrl-C: asked the running test to stop; no further test will start. "
                    "Press Ctrl-C again to quit at once.");
    };

    for (const Target& target : plan.targets) {
        if (outcome.interrupted || outcome.halted) {
            break;
        }
        DeviceRecord& record = *target.record;
        view.device(record);

        for (int testIndex : plan.tests) {
            // A Ctrl-C pressed between two tests is taken before the next starts.
            if (const int signal = waitForSignal(0)) {
                onSignal(signal);
            }
            if (outcome.interrupted || outcome.halted) {
                break;
            }
            if (!diagnostics.isDeviceSupportedByTest(target.device, testIndex)) {
                record.skipped.push_back(SkippedTest{
                    config.testName(testIndex),
                    record.tty.empty() ? "no driver tty (" + record.status + ")" : "not supported by this modem"});
                continue;
            }

            view.testStarted(record, testIndex);
            const auto start = std::chrono::steady_clock::now();
            watch([&] { diagnostics.runTest(target.device, testIndex, settings); },
                  [&] {
                      // An abort that reached the diagnostic just before the
                      // run began (which clears the request) is repeated.
                      if (outcome.interrupted && !diagnostics.isAbortRequested()) {
                          diagnostics.abortDiagnostic();
                      }
                      // The bar first, so that events printed above it
                      // redraw it as it is now.
                      view.progress(diagnostics.getTestStatus(testIndex).getProgress(), secondsSince(start));
                      for (const EventRecord& event : mailbox.take()) {
                          view.event(event);
                      }
                  },
                  onSignal);
            for (const EventRecord& event : mailbox.take()) {
                view.event(event);
            }
            // The bar's last state: the test may end between two ticks.
            view.progress(diagnostics.getTestStatus(testIndex).getProgress(), secondsSince(start));

            TestRecord test;
            test.index = testIndex;
            test.name = config.testName(testIndex);
            test.seconds = secondsSince(start);
            test.progress = diagnostics.getTestStatus(testIndex).getProgress();
            for (const DiagnosticEvent* event : diagnostics.getDiagnosticEvents()) {
                test.events.push_back(toRecord(*event));
            }
            const QuarnDiags::Diag::DiagnosticResultVector results = diagnostics.getDiagnosticResults();
            if (results.empty()) {
                // The diagnostic ran nothing (it saw the abort before the start).
                continue;
            }
            test.verdict = results.front()->getResult();
            test.code = results.front()->getId();
            test.type = results.front()->getType();
            view.testFinished(test);
            record.tests.push_back(test);
            if (plan.haltOnError && test.verdict == QuarnDiags::Diag::FAILED) {
                outcome.halted = true;
                view.notice("Halt on error: no further test starts after this failure.");
            }
        }
        if (record.tests.empty() && !record.skipped.empty()) {
            view.skipped(record);
        }
    }
    diagnostics.setEventListener(nullptr);
    return outcome;
}

}  // namespace diaghost
