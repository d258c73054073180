// Running a diagnostic's tests: order, results, events, and control from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "QuarnDiags/IDiagnostics.h"
#include "QuarnDiags/SysUtil.h"

using namespace QuarnDiags;
using namespace QuarnDiags::Diag;
using namespace QuarnDiags::DeviceEnum;

namespace {

class PlainDevice : public IDevice {
public:
    PlainDevice() : IDevice("d", "d", "d", "d", "d", 0, "d") {}
    Uint open(AccessMode) override { return 0; }
    void close() override {}
    void identifyDevice(int) override {}
};

// A test that posts its events, optionally blocks until released or
// aborted, and returns the verdict it was given.
class ScriptedTest : public IFunctionalTest {
public:
    ScriptedTest(std::ofstream& log, EventQueue& queue, TestResult verdict, std::vector<Uint> events = {},
                 bool supported = true)
        : IFunctionalTest(log, queue), m_verdict(verdict), m_events(std::move(events)), m_supported(supported)
    {
    }

    DiagnosticResult* run(const IDevice*, const DiagnosticSettings&) override
    {
        m_status.setStatus(DiagnosticStatus::EXECUTING);
        ++runs;
        for (Uint id : m_events) {
            addDiagnosticEvent(new DiagnosticEvent(id, INFORMATION_EVENT));
        }
        if (blocking) {
            m_status.setProgress(40);
            std::unique_lock<std::mutex> lock(m_mutex);
            m_started = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released || m_aborted.load(); });
        }
        const Uint code = m_aborted.load() ? TEST_ABORTED : TEST_COMPLETED_SUCCESSFULLY;
        return new DiagnosticResult(m_verdict, code, INFORMATION_EVENT);
    }
    bool isDeviceSupported(const IDevice*, IDeviceEnumerator::DiagnosticMode) override { return m_supported; }
    void abortTest() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_aborted.store(true);
        m_changed.notify_all();
    }
    void suspendTest() override { suspends.fetch_add(1); }
    void resumeTest() override {}

    void waitUntilStarted()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_started; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
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
    bool m_started = false;
    bool m_released = false;
    std::atomic<bool> m_aborted{false};
};

class Diagnostic : public IDiagnostics {
public:
    Diagnostic() : IDiagnostics("Name", "1.0", "Description", false, IDeviceEnumerator::CUSTOMER) {}
    ~Diagnostic() override
    {
        for (IFunctionalTest* test : m_tests) {
            delete test;
        }
    }
    ScriptedTest* add(TestResult verdict, std::vector<Uint> events = {}, bool supported = true)
    {
        auto* test = new ScriptedTest(m_log, m_eventQueue, verdict, std::move(events), supported);
        m_tests.push_back(test);
        return test;
    }

private:
    std::ofstream m_log;
};

struct Fixture : ::testing::Test {
    Diagnostic diagnostic;
    VirtualDevice device{new PlainDevice};
};

using DiagnosticRun = Fixture;
using DiagnosticControl = Fixture;

}  // namespace

TEST_F(DiagnosticRun, RunsSupportedTestsInListOrderAndKeepsTheirResultsAndEvents)
{
    diagnostic.add(PASSED, {100, 101});
    diagnostic.add(FAILED, {102}, /*supported=*/false);
    diagnostic.add(UNUSUAL_STATUS, {103});

    EXPECT_EQ(DiagnosticStatus::READY, diagnostic.getDiagnosticStatus().getStatus());
    diagnostic.runDiagnostic(&device, DiagnosticSettings());

    const auto results = diagnostic.getDiagnosticResults();
    ASSERT_EQ(2u, results.size());
    EXPECT_EQ(PASSED, results[0]->getResult());
    EXPECT_EQ(0, results[0]->getTestIndex());
    EXPECT_EQ(UNUSUAL_STATUS, results[1]->getResult());
    EXPECT_EQ(2, results[1]->getTestIndex());

    // Events keep their posting order and know their test.
    std::vector<std::pair<Uint, int>> events;
    for (const DiagnosticEvent* event : diagnostic.getDiagnosticEvents()) {
        events.emplace_back(event->getId(), event->getTestIndex());
    }
    EXPECT_EQ((std::vector<std::pair<Uint, int>>{{100, 0}, {101, 0}, {103, 2}}), events);

    EXPECT_EQ(DiagnosticStatus::COMPLETED, diagnostic.getDiagnosticStatus().getStatus());
    EXPECT_EQ(100u, diagnostic.getDiagnosticStatus().getProgress());
    EXPECT_EQ(DiagnosticStatus::READY, diagnostic.getTestStatus(1).getStatus());

    // Nothing runs without a device.
    VirtualDevice empty;
    diagnostic.runDiagnostic(&empty, DiagnosticSettings());
    EXPECT_TRUE(diagnostic.getDiagnosticResults().empty());
}

TEST_F(DiagnosticRun, ANewRunDropsTheOutcomeOfTheLastAndRunTestRunsOneTest)
{
    ScriptedTest* first = diagnostic.add(PASSED, {100});
    ScriptedTest* second = diagnostic.add(FAILED, {101});
    diagnostic.runDiagnostic(&device, DiagnosticSettings());
    ASSERT_EQ(2u, diagnostic.getDiagnosticResults().size());

    diagnostic.runTest(&device, 1, DiagnosticSettings());
    EXPECT_EQ(1, first->runs.load());
    EXPECT_EQ(2, second->runs.load());
    const auto results = diagnostic.getDiagnosticResults();
    ASSERT_EQ(1u, results.size());
    EXPECT_EQ(1, results[0]->getTestIndex());
    ASSERT_EQ(1u, diagnostic.getDiagnosticEvents().size());
    EXPECT_EQ(0u, diagnostic.getDiagnosticEvents()[0]->getSequence());
}

TEST_F(DiagnosticRun, HaltOnErrorStartsNoTestAfterAFailure)
{
    diagnostic.add(UNUSUAL_STATUS);
    diagnostic.add(FAILED);
    ScriptedTest* last = diagnostic.add(PASSED);

    diagnostic.runDiagnostic(&device, DiagnosticSettings(true));
    EXPECT_EQ(0, last->runs.load());
    EXPECT_EQ(2u, diagnostic.getDiagnosticResults().size());

    diagnostic.runDiagnostic(&device, DiagnosticSettings(false));
    EXPECT_EQ(1, last->runs.load());
}

TEST_F(DiagnosticRun, ListenerSeesEachEventAsItIsPosted)
{
    diagnostic.add(PASSED, {100, 101});
    std::vector<Uint> seen;
    std::vector<std::size_t> queued;
    diagnostic.setEventListener([&](const DiagnosticEvent& event) {
        seen.push_back(event.getId());
        queued.push_back(diagnostic.getDiagnosticEvents().size());
    });
    diagnostic.runDiagnostic(&device, DiagnosticSettings());
    EXPECT_EQ((std::vector<Uint>{100, 101}), seen);
    EXPECT_EQ((std::vector<std::size_t>{1, 2}), queued);

    diagnostic.setEventListener(nullptr);
    diagnostic.runDiagnostic(&device, DiagnosticSettings());
    EXPECT_EQ(2u, seen.size());
}

TEST_F(DiagnosticControl, AbortFromAnotherThreadReachesTheRunningTestAndEndsTheRun)
{
    ScriptedTest* running = diagnostic.add(PASSED);
    running->blocking = true;
    ScriptedTest* next = diagnostic.add(PASSED);

    std::thread runner([&] { diagnostic.runDiagnostic(&device, DiagnosticSettings()); });
    running->waitUntilStarted();

    EXPECT_EQ(0, diagnostic.getCurrentTestIndex());
    const DiagnosticStatus during = diagnostic.getDiagnosticStatus();
    EXPECT_EQ(DiagnosticStatus::EXECUTING, during.getStatus());
    EXPECT_EQ(20u, during.getProgress());  // 40 % of the first of two tests
    EXPECT_EQ(40u, diagnostic.getTestStatus(0).getProgress());

    diagnostic.abortDiagnostic();
    runner.join();

    EXPECT_TRUE(diagnostic.isAbortRequested());
    EXPECT_EQ(0, next->runs.load());
    const auto results = diagnostic.getDiagnosticResults();
    ASSERT_EQ(1u, results.size());
    EXPECT_EQ(static_cast<Uint>(TEST_ABORTED), results[0]->getId());
    EXPECT_EQ(-1, diagnostic.getCurrentTestIndex());
}

TEST_F(DiagnosticControl, SuspensionReachesTheTestAndHoldsTheNextOneUntilResumed)
{
    ScriptedTest* running = diagnostic.add(PASSED);
    running->blocking = true;
    ScriptedTest* next = diagnostic.add(PASSED);

    std::thread runner([&] { diagnostic.runDiagnostic(&device, DiagnosticSettings()); });
    running->waitUntilStarted();
    diagnostic.suspendDiagnostic();
    EXPECT_EQ(1, running->suspends.load());
    EXPECT_EQ(DiagnosticStatus::SUSPENDED, diagnostic.getDiagnosticStatus().getStatus());

    running->release();
    // The run is now held between the two tests.
    System::SysUtil::sleepForMilliseconds(50);
    EXPECT_EQ(0, next->runs.load());

    diagnostic.resumeDiagnostic();
    runner.join();
    EXPECT_EQ(1, next->runs.load());
    EXPECT_EQ(2u, diagnostic.getDiagnosticResults().size());
}

TEST_F(DiagnosticControl, AbortWhileSuspendedBetweenTestsEndsTheRun)
{
    ScriptedTest* running = diagnostic.add(PASSED);
    running->blocking = true;
    ScriptedTest* next = diagnostic.add(PASSED);

    std::thread runner([&] { diagnostic.runDiagnostic(&device, DiagnosticSettings()); });
    running->waitUntilStarted();
    diagnostic.suspendDiagnostic();
    running->release();
    diagnostic.abortDiagnostic();
    runner.join();
    EXPECT_EQ(0, next->runs.load());
    diagnostic.resumeDiagnostic();
}

