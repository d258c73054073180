// libdiagframework: shared device handles, and running a diagnostic's tests (order, results, events, control from another thread).
#include <gtest/gtest.h>

#include <algorithm>
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

// Counts its deletions.
class PlainDevice : public IDevice {
public:
    PlainDevice() : IDevice("d", nullptr, "", "", "", 7, "tag") {}
    ~PlainDevice() override { ++deletions; }
    Uint open(AccessMode) override { return 0; }
    void close() override {}
    void identifyDevice(int) override {}
    static inline int deletions = 0;
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
        if (blocking) {
            m_status.setProgress(40);
            reach(Started);
            waitFor(Released);
        }
        return new DiagnosticResult(m_verdict, m_stage == Aborted ? TEST_ABORTED : TEST_COMPLETED_SUCCESSFULLY,
                                    INFORMATION_EVENT);
    }
    bool isDeviceSupported(const IDevice*, IDeviceEnumerator::DiagnosticMode) override { return m_supported; }
    void abortTest() override { reach(Aborted); }
    void suspendTest() override { ++suspends; }
    void resumeTest() override {}

    enum Stage { Idle, Started, Released, Aborted };  // each later one implies the earlier
    void reach(Stage stage)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stage = std::max(m_stage, stage);
        m_changed.notify_all();
    }
    void waitFor(Stage stage)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stage >= stage; });
    }

    bool blocking = false;
    std::atomic<int> runs{0};
    std::atomic<int> suspends{0};

private:
    TestResult m_verdict;
    std::vector<Uint> m_events;
    bool m_supported;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Stage m_stage = Idle;
};

// A diagnostic of scripted tests and a device to run them on.
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
    // A blocking first test and a second one, run on another thread.
    std::pair<ScriptedTest*, ScriptedTest*> startTwo(std::thread& runner, IRunObserver* observer = nullptr)
    {
        ScriptedTest* running = add(PASSED);
        running->blocking = true;
        ScriptedTest* next = add(PASSED);
        runner = std::thread([this, observer] { runTests(&device, {0, 1}, DiagnosticSettings(), observer); });
        running->waitFor(ScriptedTest::Started);
        return {running, next};
    }
    // "verdict@test ..." of the results, then "| id@test ..." of the events.
    std::string outcome()
    {
        std::string text;
        for (const DiagnosticResult* result : getDiagnosticResults()) {
            text += std::string(testResultName(result->getResult())) + "@" + std::to_string(result->getTestIndex()) + " ";
        }
        text += "|";
        for (const DiagnosticEvent* event : getDiagnosticEvents()) {
            text += " " + std::to_string(event->getId()) + "@" + std::to_string(event->getTestIndex());
        }
        return text;
    }

    std::ofstream m_log;
    VirtualDevice device{new PlainDevice};
};

// Writes down each call as a line and the threads the calls came on.
class RecordingObserver : public IRunObserver {
public:
    // Asks for an abort while the run waits before this test.
    RecordingObserver(Diagnostic* run = nullptr, int abortBefore = -1) : m_run(run), m_abortBefore(abortBefore) {}

    void testStarting(int testIndex) override
    {
        note("ready " + std::to_string(testIndex));
        if (testIndex == m_abortBefore) {
            m_run->abortDiagnostic();
        }
    }
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
    Diagnostic* m_run;
    int m_abortBefore;
};

}  // namespace

// The device goes with the last copy, however many threads copy it at once.
TEST(VirtualDevice, CopiesShareOneDeviceDeletedOnceWithTheLastCopy)
{
    int& deletions = PlainDevice::deletions;
    deletions = 0;
    {
        VirtualDeviceVector copies(3, VirtualDevice(new PlainDevice));
        copies.erase(copies.begin());
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back([copy = copies[0]] {
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

// Null texts must not reach std::string; the status names line up, and a
// status out of range has a name too.
TEST(IDevice, NullTextsAreEmptyAndStatusNamesCoverTheEnumeration)
{
    PlainDevice device;
    EXPECT_EQ("", device.getDisableDeviceName());
    device.setDeviceAdditionalHWInfo(nullptr);
    EXPECT_EQ("", device.getDeviceAdditionalHWInfo());
    // The values cross the library boundary: a reordered enumeration breaks
    // every plug-in built against the old order.
    static_assert(IDevice::DRIVERS_NOT_INSTALLED == 28 && IDevice::UNABLE_TO_LOAD_DRIVERS == 31 && IDevice::UNKNOWN == 100,
                  "device status values changed");
    // The last name lines up with its value (the run reports pin DRIVERS_NOT_INSTALLED's).
    EXPECT_STREQ("UNABLE_TO_LOAD_DRIVERS", IDevice::deviceStatusName(IDevice::UNABLE_TO_LOAD_DRIVERS));
    EXPECT_STREQ("UNKNOWN", IDevice::deviceStatusName(static_cast<IDevice::DeviceStatus>(32)));
}

// From another thread: an abort reaches the running test and ends the run
// after it; a suspension holds the next test until resumed or aborted.
TEST(DiagnosticControl, AbortAndSuspensionFromAnotherThread)
{
    const struct {
        bool suspend;
        bool abort;
        std::vector<std::string> lines;
    } cases[] = {
        {false, true, {"ready 0", "start 0", "finish 0 PASSED aborted", "end ran 0; not 1:aborted; aborted"}},
        {true, true, {"ready 0", "start 0", "finish 0 PASSED", "end ran 0; not 1:aborted; aborted"}},
        {true, false,
         {"ready 0", "start 0", "finish 0 PASSED", "ready 1", "start 1", "finish 1 PASSED", "end ran 0 1; not"}},
    };
    for (const auto& c : cases) {
        Diagnostic run;
        RecordingObserver observer;
        std::thread runner;
        const auto tests = run.startTwo(runner, &observer);
        EXPECT_EQ(0, run.getCurrentTestIndex());
        EXPECT_EQ(20u, run.getDiagnosticStatus().getProgress());  // 40 % of the first of two
        EXPECT_EQ(DiagnosticStatus::EXECUTING, run.getDiagnosticStatus().getStatus());
        if (c.suspend) {
            run.suspendDiagnostic();
            EXPECT_EQ(1, tests.first->suspends.load());
            EXPECT_EQ(DiagnosticStatus::SUSPENDED, run.getDiagnosticStatus().getStatus());
            tests.first->reach(ScriptedTest::Released);
            System::SysUtil::sleepForMilliseconds(50);  // the run is now held between the tests
            EXPECT_EQ(0, tests.second->runs.load());
        }
        if (c.abort) {
            run.abortDiagnostic();
        } else {
            run.resumeDiagnostic();
        }
        runner.join();
        EXPECT_EQ(c.lines, observer.lines) << c.suspend << c.abort;
        EXPECT_EQ(-1, run.getCurrentTestIndex());
    }
}

// A chosen list, in the order given, under runDiagnostic's policy (halt on
// error starts no test after a failure): the observer hears every step in
// order, on the thread that runs; results and events keep their order and
// know their test; a listener sees each event once it is queued.
TEST(DiagnosticControl, ChosenTestsRunInTheGivenOrderAndTheObserverHearsEachStepOnTheRunThread)
{
    const struct {
        const char* what;
        std::vector<int> chosen;
        bool haltOnError;
        bool abortFirst;
        int abortBefore;  // the observer asks for an abort while waiting before this test
        std::vector<std::string> lines;
        std::string outcome;
    } cases[] = {
        {"skip", {3, 0, 1, 7}, false, false, -1,
         {"ready 3", "start 3", "event 103 of 3", "finish 3 UNUSUAL_STATUS", "ready 0", "start 0", "event 100 of 0",
          "finish 0 PASSED", "end ran 3 0; not 1:unsupported 7:unsupported"},
         "UNUSUAL_STATUS@3 PASSED@0 | 103@3 100@0"},
        {"halt", {2, 3, 0}, true, false, -1,
         {"ready 2", "start 2", "finish 2 FAILED", "end ran 2; not 3:halted 0:halted; halted"}, "FAILED@2 |"},
        // An unusual status is no failure: it halts nothing.
        {"unusual", {3, 2, 0}, true, false, -1,
         {"ready 3", "start 3", "event 103 of 3", "finish 3 UNUSUAL_STATUS", "ready 2", "start 2", "finish 2 FAILED",
          "end ran 3 2; not 0:halted; halted"},
         "UNUSUAL_STATUS@3 FAILED@2 | 103@3"},
        // Requested while no run was in progress: the next run ends at once,
        // without waiting before its first test.
        {"abort first", {0, 3}, false, true, -1, {"end ran; not 0:aborted 3:aborted; aborted"}, "|"},
        // Requested while the host waits before a test: that test never starts.
        {"abort while waiting", {0, 3}, false, false, 3,
         {"ready 0", "start 0", "event 100 of 0", "finish 0 PASSED", "ready 3", "end ran 0; not 3:aborted; aborted"},
         "PASSED@0 | 100@0"},
    };
    for (const auto& c : cases) {
        Diagnostic run;
        run.add(PASSED, {100});
        run.add(PASSED, {101}, /*supported=*/false);
        run.add(FAILED);
        run.add(UNUSUAL_STATUS, {103});
        if (c.abortFirst) {
            run.abortDiagnostic();
        }
        int heard = 0;
        run.setEventListener([&](const DiagnosticEvent& event) {
            const DiagnosticEventVector queued = run.getDiagnosticEvents();
            EXPECT_TRUE(!queued.empty() && queued.back()->getId() == event.getId()) << "heard before it was queued";
            ++heard;
        });
        RecordingObserver observer(&run, c.abortBefore);
        std::thread::id runThread;
        std::thread runner([&] {
            runThread = std::this_thread::get_id();
            run.runTests(&run.device, c.chosen, DiagnosticSettings(c.haltOnError), &observer);
        });
        runner.join();
        EXPECT_EQ(c.lines, observer.lines) << c.what;
        EXPECT_EQ(std::set<std::thread::id>{runThread}, observer.threads) << c.what;
        EXPECT_EQ(c.outcome, run.outcome()) << c.what;
        EXPECT_EQ(static_cast<int>(run.getDiagnosticEvents().size()), heard) << c.what;
        EXPECT_EQ(DiagnosticStatus::COMPLETED, run.getDiagnosticStatus().getStatus()) << c.what;

        // The abort request was used up and the last run's outcome dropped:
        // runDiagnostic runs every supported test, its events counted afresh.
        const int heardBefore = heard;
        run.setEventListener(nullptr);
        run.runDiagnostic(&run.device, DiagnosticSettings());
        EXPECT_EQ("PASSED@0 FAILED@2 UNUSUAL_STATUS@3 | 100@0 103@3", run.outcome()) << c.what;
        EXPECT_EQ(0u, run.getDiagnosticEvents()[0]->getSequence()) << c.what;
        EXPECT_EQ(100u, run.getDiagnosticStatus().getProgress()) << c.what;
        EXPECT_EQ(heardBefore, heard) << "a removed listener heard " << c.what;
        // runTest runs one test; nothing runs without a device.
        run.runTest(&run.device, 3, DiagnosticSettings());
        EXPECT_EQ("UNUSUAL_STATUS@3 | 103@3", run.outcome()) << c.what;
        VirtualDevice none;
        run.runDiagnostic(&none, DiagnosticSettings());
        EXPECT_EQ("|", run.outcome()) << c.what;
    }
}
