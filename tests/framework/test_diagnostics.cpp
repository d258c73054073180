// libdiagframework: shared device handles, and running a diagnostic's tests (order, results, events, control from another thread).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "QuarnDiags/IDiagnostics.h"
#include "QuarnDiags/SysUtil.h"
#include "QuarnDiags/VirtualDevice.h"

using namespace QuarnDiags;
using namespace QuarnDiags::Diag;
using namespace QuarnDiags::DeviceEnum;

namespace {

// Counts its deletions when given a counter.
class PlainDevice : public IDevice {
public:
    explicit PlainDevice(int* deletions = nullptr) : IDevice("d", nullptr, "", "", "", 7, "tag"), m_deletions(deletions) {}
    ~PlainDevice() override
    {
        if (m_deletions != nullptr) {
            ++*m_deletions;
        }
    }
    Uint open(AccessMode) override { return 0; }
    void close() override {}
    void identifyDevice(int) override {}

private:
    int* m_deletions;
};

// Posts its events and returns its verdict; a blocking one first reports
// 40 % progress and waits until released or aborted.
class ScriptedTest : public IFunctionalTest {
public:
    ScriptedTest(std::ofstream& log, EventQueue& queue, TestResult verdict, std::vector<Uint> events, bool supported)
        : IFunctionalTest(log, queue), m_verdict(verdict), m_events(std::move(events)), m_supported(supported)
    {
    }
    DiagnosticResult* run(const IDevice*, const DiagnosticSettings&) override
    {
        ++runs;
        for (Uint id : m_events) {
            addDiagnosticEvent(new DiagnosticEvent(id, INFORMATION_EVENT));
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        if (blocking) {
            m_status.setProgress(40);
            m_started = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released || m_aborted; });
        }
        return new DiagnosticResult(m_verdict, m_aborted ? TEST_ABORTED : TEST_COMPLETED_SUCCESSFULLY,
                                    INFORMATION_EVENT);
    }
    bool isDeviceSupported(const IDevice*, IDeviceEnumerator::DiagnosticMode) override { return m_supported; }
    void abortTest() override { signal(m_aborted); }
    void suspendTest() override { ++suspends; }
    void resumeTest() override {}

    void waitUntilStarted()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_started; });
    }
    void release() { signal(m_released); }

    bool blocking = false;
    std::atomic<int> runs{0};
    std::atomic<int> suspends{0};

private:
    void signal(bool& flag)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        flag = true;
        m_changed.notify_all();
    }

    TestResult m_verdict;
    std::vector<Uint> m_events;
    bool m_supported;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_started = false;
    bool m_released = false;
    bool m_aborted = false;
};

struct Diagnostic : IDiagnostics {
    Diagnostic() : IDiagnostics("Name", "1.0", "Description", false, IDeviceEnumerator::CUSTOMER) {}
    ~Diagnostic() override
    {
        for (IFunctionalTest* test : m_tests) {
            delete test;
        }
    }
    ScriptedTest* add(TestResult verdict, std::vector<Uint> events = {}, bool supported = true)
    {
        m_tests.push_back(new ScriptedTest(m_log, m_eventQueue, verdict, std::move(events), supported));
        return static_cast<ScriptedTest*>(m_tests.back());
    }
    std::ofstream m_log;
};

struct Harness {
    Diagnostic diagnostic;
    VirtualDevice device{new PlainDevice};

    // A blocking first test and a second one, run on another thread.
    std::pair<ScriptedTest*, ScriptedTest*> startTwo(std::thread& runner, IRunObserver* observer = nullptr)
    {
        ScriptedTest* running = diagnostic.add(PASSED);
        running->blocking = true;
        ScriptedTest* next = diagnostic.add(PASSED);
        runner = std::thread([this, observer] { diagnostic.runTests(&device, {0, 1}, DiagnosticSettings(), observer); });
        running->waitUntilStarted();
        return {running, next};
    }
};

struct DiagnosticRun : ::testing::Test, Harness {};

// Writes down each call as a line and the threads the calls came on.
class RecordingObserver : public IRunObserver {
public:
    void testStarted(int testIndex) override { note("start " + std::to_string(testIndex)); }
    void eventPosted(const DiagnosticEvent& event) override
    {
        note("event " + std::to_string(event.getId()) + " of " + std::to_string(event.getTestIndex()));
    }
    void testFinished(int testIndex, const DiagnosticResult* result) override
    {
        note("finish " + std::to_string(testIndex) + " " + testResultName(result->getResult()) +
             (result->getId() == TEST_ABORTED ? " aborted" : ""));
    }
    void runFinished(const RunSummary& summary) override
    {
        static const char* const reasons[] = {"unsupported", "halted", "aborted"};
        std::string line = "end ran";
        for (int index : summary.ran) {
            line += " " + std::to_string(index);
        }
        line += "; not";
        for (const auto& notRun : summary.notRun) {
            line += " " + std::to_string(notRun.first) + ":" + reasons[notRun.second];
        }
        note(line + (summary.aborted ? "; aborted" : "") + (summary.halted ? "; halted" : ""));
    }

    std::vector<std::string> lines;
    std::set<std::thread::id> threads;

private:
    void note(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        lines.push_back(line);
        threads.insert(std::this_thread::get_id());
    }
    std::mutex m_mutex;
};

}  // namespace

TEST(VirtualDevice, CopiesShareOneDeviceDeletedOnceWithTheLastCopy)
{
    int deletions = 0;
    {
        VirtualDeviceVector vector;
        {
            VirtualDevice first(new PlainDevice(&deletions));
            vector.push_back(first);
            vector.push_back(first);
        }
        vector.erase(vector.begin());
        EXPECT_EQ(0, deletions);
        // Copies made and dropped on several threads at once.
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back([copy = vector[0]] {
                for (int j = 0; j < 1000; ++j) {
                    VirtualDevice again(copy);
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(0, deletions);
    }
    EXPECT_EQ(1, deletions);
}

// Null texts must not reach std::string; a status out of range has a name too.
TEST(IDevice, NullTextsAreEmptyAndStatusNamesCoverTheEnumeration)
{
    PlainDevice device;
    EXPECT_EQ("", device.getDisableDeviceName());
    device.setDeviceAdditionalHWInfo(nullptr);
    EXPECT_EQ("", device.getDeviceAdditionalHWInfo());
    EXPECT_STREQ("CANNOT_START", IDevice::deviceStatusName(IDevice::CANNOT_START));
    EXPECT_STREQ("UNABLE_TO_LOAD_DRIVERS", IDevice::deviceStatusName(IDevice::UNABLE_TO_LOAD_DRIVERS));
    EXPECT_STREQ("UNKNOWN", IDevice::deviceStatusName(static_cast<IDevice::DeviceStatus>(32)));
}

// The listener sees each event once it is queued, and nothing once removed.
TEST_F(DiagnosticRun, RunsSupportedTestsInListOrderAndKeepsTheirResultsAndEvents)
{
    diagnostic.add(PASSED, {100, 101});
    diagnostic.add(FAILED, {102}, /*supported=*/false);
    diagnostic.add(UNUSUAL_STATUS, {103});
    std::vector<std::pair<Uint, std::size_t>> seen;  // id, events queued by then
    diagnostic.setEventListener([&](const DiagnosticEvent& event) {
        seen.emplace_back(event.getId(), diagnostic.getDiagnosticEvents().size());
    });
    EXPECT_EQ(DiagnosticStatus::READY, diagnostic.getDiagnosticStatus().getStatus());
    diagnostic.runDiagnostic(&device, DiagnosticSettings());

    std::vector<std::pair<TestResult, int>> results;
    for (const DiagnosticResult* result : diagnostic.getDiagnosticResults()) {
        results.emplace_back(result->getResult(), result->getTestIndex());
    }
    EXPECT_EQ((std::vector<std::pair<TestResult, int>>{{PASSED, 0}, {UNUSUAL_STATUS, 2}}), results);
    // Events keep their posting order and know their test.
    std::vector<std::pair<Uint, int>> events;
    for (const DiagnosticEvent* event : diagnostic.getDiagnosticEvents()) {
        events.emplace_back(event->getId(), event->getTestIndex());
    }
    EXPECT_EQ((std::vector<std::pair<Uint, int>>{{100, 0}, {101, 0}, {103, 2}}), events);
    EXPECT_EQ((std::vector<std::pair<Uint, std::size_t>>{{100, 1}, {101, 2}, {103, 3}}), seen);
    EXPECT_EQ(DiagnosticStatus::COMPLETED, diagnostic.getDiagnosticStatus().getStatus());
    EXPECT_EQ(100u, diagnostic.getDiagnosticStatus().getProgress());

    // A new run drops the last one's outcome; runTest runs one test.
    diagnostic.setEventListener(nullptr);
    diagnostic.runTest(&device, 2, DiagnosticSettings());
    ASSERT_EQ(1u, diagnostic.getDiagnosticResults().size());
    ASSERT_EQ(1u, diagnostic.getDiagnosticEvents().size());
    EXPECT_EQ(0u, diagnostic.getDiagnosticEvents()[0]->getSequence());
    EXPECT_EQ(3u, seen.size());
    // Nothing runs without a device.
    VirtualDevice empty;
    diagnostic.runDiagnostic(&empty, DiagnosticSettings());
    EXPECT_TRUE(diagnostic.getDiagnosticResults().empty());
}

// The abort reaches the running test and ends the run after it.
TEST_F(DiagnosticRun, AbortFromAnotherThreadReachesTheRunningTestAndEndsTheRun)
{
    RecordingObserver observer;
    std::thread runner;
    const auto tests = startTwo(runner, &observer);
    EXPECT_EQ(0, diagnostic.getCurrentTestIndex());
    EXPECT_EQ(DiagnosticStatus::EXECUTING, diagnostic.getDiagnosticStatus().getStatus());
    EXPECT_EQ(20u, diagnostic.getDiagnosticStatus().getProgress());  // 40 % of the first of two
    diagnostic.abortDiagnostic();
    runner.join();
    EXPECT_EQ(0, tests.second->runs.load());
    EXPECT_EQ((std::vector<std::string>{"start 0", "finish 0 PASSED aborted", "end ran 0; not 1:aborted; aborted"}),
              observer.lines);
    EXPECT_EQ(-1, diagnostic.getCurrentTestIndex());
}

TEST_F(DiagnosticRun, SuspensionHoldsTheNextTestUntilResumedOrAborted)
{
    for (const bool abort : {false, true}) {
        Harness run;
        std::thread runner;
        const auto tests = run.startTwo(runner);
        run.diagnostic.suspendDiagnostic();
        EXPECT_EQ(1, tests.first->suspends.load());
        EXPECT_EQ(DiagnosticStatus::SUSPENDED, run.diagnostic.getDiagnosticStatus().getStatus());
        tests.first->release();
        System::SysUtil::sleepForMilliseconds(50);  // the run is now held between the tests
        EXPECT_EQ(0, tests.second->runs.load());
        if (abort) {
            run.diagnostic.abortDiagnostic();
        } else {
            run.diagnostic.resumeDiagnostic();
        }
        runner.join();
        EXPECT_EQ(abort ? 0 : 1, tests.second->runs.load());
    }
}

// A chosen list, in the order given, under runDiagnostic's policy (halt on
// error starts no test after a failure); the observer hears every step in
// order, on the thread that runs.
TEST_F(DiagnosticRun, ChosenTestsRunInTheGivenOrderAndTheObserverHearsEachStepOnTheRunThread)
{
    const struct {
        const char* what;
        std::vector<int> chosen;
        bool haltOnError;
        bool abortFirst;
        std::vector<std::string> lines;
    } cases[] = {
        {"skip", {3, 0, 1, 7}, false, false,
         {"start 3", "event 103 of 3", "finish 3 UNUSUAL_STATUS", "start 0", "event 100 of 0", "finish 0 PASSED",
          "end ran 3 0; not 1:unsupported 7:unsupported"}},
        {"halt", {2, 3, 0}, true, false,
         {"start 2", "finish 2 FAILED", "end ran 2; not 3:halted 0:halted; halted"}},
        // An unusual status is no failure: it halts nothing.
        {"unusual", {3, 2, 0}, true, false,
         {"start 3", "event 103 of 3", "finish 3 UNUSUAL_STATUS", "start 2", "finish 2 FAILED",
          "end ran 3 2; not 0:halted; halted"}},
        {"no halt", {2, 0}, false, false,
         {"start 2", "finish 2 FAILED", "start 0", "event 100 of 0", "finish 0 PASSED", "end ran 2 0; not"}},
        // Requested while no run was in progress: the next run ends at once.
        {"abort first", {0, 3}, false, true, {"end ran; not 0:aborted 3:aborted; aborted"}},
    };
    for (const auto& c : cases) {
        Harness run;
        run.diagnostic.add(PASSED, {100});
        run.diagnostic.add(PASSED, {101}, /*supported=*/false);
        run.diagnostic.add(FAILED);
        run.diagnostic.add(UNUSUAL_STATUS, {103});
        if (c.abortFirst) {
            run.diagnostic.abortDiagnostic();
        }
        RecordingObserver observer;
        std::thread::id runThread;
        std::thread runner([&] {
            runThread = std::this_thread::get_id();
            run.diagnostic.runTests(&run.device, c.chosen, DiagnosticSettings(c.haltOnError), &observer);
        });
        runner.join();
        EXPECT_EQ(c.lines, observer.lines) << c.what;
        EXPECT_EQ(std::set<std::thread::id>{runThread}, observer.threads) << c.what;
        // The request was used up: the following run is whole.
        RecordingObserver again;
        run.diagnostic.runTests(&run.device, {0}, DiagnosticSettings(), &again);
        EXPECT_EQ((std::vector<std::string>{"start 0", "event 100 of 0", "finish 0 PASSED", "end ran 0; not"}),
                  again.lines)
            << c.what;
    }
}
