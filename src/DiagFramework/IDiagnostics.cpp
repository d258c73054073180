// IDiagnostics.cpp - runs a diagnostic's tests on a device and keeps the outcome.
#include "QuarnDiags/IDiagnostics.h"

#include <utility>

namespace QuarnDiags {
namespace Diag {

namespace {

const char* orEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

}  // namespace

IDiagnostics::IDiagnostics(const char* name, const char* version, const char* description, bool diagLog,
                           DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode)
    : m_diagLog(diagLog),
      m_diagMode(diagMode),
      m_name(orEmpty(name)),
      m_version(orEmpty(version)),
      m_description(orEmpty(description))
{
}

IDiagnostics::~IDiagnostics() = default;

void IDiagnostics::runDiagnostic(DeviceEnum::VirtualDevice* pDevice, const DiagnosticSettings& settings)
{
    std::vector<int> indices;
    for (int i = 0; i < static_cast<int>(m_tests.size()); ++i) {
        indices.push_back(i);
    }
    runTests(pDevice, indices, settings, nullptr);
}

void IDiagnostics::runTest(DeviceEnum::VirtualDevice* pDevice, int testIndex, const DiagnosticSettings& settings)
{
    runTests(pDevice, std::vector<int>{testIndex}, settings, nullptr);
}

void IDiagnostics::runTests(DeviceEnum::VirtualDevice* pDevice, const std::vector<int>& testIndices,
                            const DiagnosticSettings& settings, IRunObserver* observer)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_results.clear();
    }
    m_eventQueue.clear();
    m_eventQueue.setListener([this, observer](const DiagnosticEvent& event) { forwardEvent(observer, event); });

    // Only the tests that support the device take part in the run.
    RunSummary summary;
    std::vector<int> runnable;
    for (int index : testIndices) {
        if (isDeviceSupportedByTest(pDevice, index)) {
            runnable.push_back(index);
        } else {
            summary.notRun.emplace_back(index, NOT_SUPPORTED);
        }
    }
    m_runTotal.store(static_cast<int>(runnable.size()));
    m_runDone.store(0);
    m_status.setProgress(0);
    m_status.setStatus(DiagnosticStatus::EXECUTING);

    std::size_t next = 0;
    for (; next < runnable.size(); ++next) {
        if (!waitWhileSuspended()) {
            summary.aborted = true;
            break;
        }
        const int index = runnable[next];
        // The observer may wait here for the device; not for a run that is
        // already being aborted.
        if (observer != nullptr && !m_abortRequested.load()) {
            observer->testStarting(index);
        }
        IFunctionalTest* test = m_tests[static_cast<std::size_t>(index)];
        test->m_status.setStatus(DiagnosticStatus::READY);
        test->m_status.setProgress(0);
        m_eventQueue.setTestIndex(index);

        // The index is published before the abort flag is read, and
        // abortDiagnostic() sets the flag before it reads the index: either
        // this run sees the request here, or the request reaches the test.
        m_currentTest.store(index);
        if (m_abortRequested.load()) {
            m_currentTest.store(-1);
            summary.aborted = true;
            break;
        }
        if (observer != nullptr) {
            observer->testStarted(index);
        }
        DiagnosticResult* result = test->run(pDevice->getDevice(), settings);
        m_currentTest.store(-1);
        m_eventQueue.setTestIndex(-1);
        test->m_status.setStatus(DiagnosticStatus::COMPLETED);
        m_runDone.fetch_add(1);
        summary.ran.push_back(index);

        bool failed = false;
        if (result != nullptr) {
            result->m_testIndex = index;
            failed = result->getResult() == FAILED;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_results.emplace_back(result);
        }
        if (observer != nullptr) {
            observer->testFinished(index, result);
        }
        if (failed && settings.getHaltOnError()) {
            summary.halted = true;
            ++next;
            break;
        }
    }
    // An abort that arrived during the last test still ends the run as aborted.
    summary.aborted = summary.aborted || m_abortRequested.load();
    for (; next < runnable.size(); ++next) {
        summary.notRun.emplace_back(runnable[next], summary.halted ? HALTED_ON_ERROR : RUN_ABORTED);
    }

    const int total = m_runTotal.load();
    m_status.setProgress(total > 0 ? static_cast<Uint>(m_runDone.load() * 100 / total) : 100);
    // The request, if any, was this run's: the next run starts afresh.
    m_abortRequested.store(false);
    m_eventQueue.setListener(nullptr);
    m_status.setStatus(DiagnosticStatus::COMPLETED);
    if (observer != nullptr) {
        observer->runFinished(summary);
    }
}

void IDiagnostics::forwardEvent(IRunObserver* observer, const DiagnosticEvent& event)
{
    if (observer != nullptr) {
        observer->eventPosted(event);
    }
    std::shared_ptr<const EventQueue::Listener> listener;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        listener = m_listener;
    }
    if (listener && *listener) {
        (*listener)(event);
    }
}

bool IDiagnostics::waitWhileSuspended()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_resumed.wait(lock, [this] { return !m_suspended.load() || m_abortRequested.load(); });
    return !m_abortRequested.load();
}

bool IDiagnostics::isDeviceSupportedByTest(DeviceEnum::VirtualDevice* pDevice, int testIndex)
{
    if (pDevice == nullptr || pDevice->getDevice() == nullptr || testIndex < 0 ||
        testIndex >= static_cast<int>(m_tests.size())) {
        return false;
    }
    IFunctionalTest* test = m_tests[static_cast<std::size_t>(testIndex)];
    return test != nullptr && test->isDeviceSupported(pDevice->getDevice(), m_diagMode);
}

DiagnosticStatus IDiagnostics::getDiagnosticStatus()
{
    DiagnosticStatus status(m_status);
    if (status.getStatus() != DiagnosticStatus::EXECUTING) {
        return status;
    }
    if (m_suspended.load()) {
        status.setStatus(DiagnosticStatus::SUSPENDED);
    }
    const int total = m_runTotal.load();
    if (total > 0) {
        Uint sum = static_cast<Uint>(m_runDone.load()) * 100;
        const int current = m_currentTest.load();
        if (current >= 0) {
            sum += m_tests[static_cast<std::size_t>(current)]->getStatus().getProgress();
        }
        status.setProgress(sum / static_cast<Uint>(total));
    }
    return status;
}

void IDiagnostics::abortDiagnostic()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_abortRequested.store(true);
    }
    m_resumed.notify_all();
    const int current = m_currentTest.load();
    if (current >= 0) {
        m_tests[static_cast<std::size_t>(current)]->abortTest();
    }
}

void IDiagnostics::suspendDiagnostic()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_suspended.store(true);
    }
    const int current = m_currentTest.load();
    if (current >= 0) {
        m_tests[static_cast<std::size_t>(current)]->suspendTest();
    }
}

void IDiagnostics::resumeDiagnostic()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_suspended.store(false);
    }
    m_resumed.notify_all();
    const int current = m_currentTest.load();
    if (current >= 0) {
        m_tests[static_cast<std::size_t>(current)]->resumeTest();
    }
}

DiagnosticEventVector IDiagnostics::getDiagnosticEvents()
{
    return m_eventQueue.snapshot();
}

DiagnosticResultVector IDiagnostics::getDiagnosticResults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DiagnosticResultVector results;
    results.reserve(m_results.size());
    for (const auto& result : m_results) {
        results.push_back(result.get());
    }
    return results;
}

const char* IDiagnostics::getName()
{
    return m_name.c_str();
}

const char* IDiagnostics::getVersion()
{
    return m_version.c_str();
}

const char* IDiagnostics::getDescription()
{
    return m_description.c_str();
}

int IDiagnostics::getTestCount() const
{
    return static_cast<int>(m_tests.size());
}

DiagnosticStatus IDiagnostics::getTestStatus(int testIndex) const
{
    if (testIndex < 0 || testIndex >= static_cast<int>(m_tests.size()) ||
        m_tests[static_cast<std::size_t>(testIndex)] == nullptr) {
        return DiagnosticStatus(DiagnosticStatus::UNKNOWN, 0);
    }
    return m_tests[static_cast<std::size_t>(testIndex)]->getStatus();
}

int IDiagnostics::getCurrentTestIndex() const
{
    return m_currentTest.load();
}

void IDiagnostics::setEventListener(EventQueue::Listener listener)
{
    auto shared = std::make_shared<const EventQueue::Listener>(std::move(listener));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = std::move(shared);
}

bool IDiagnostics::isAbortRequested() const
{
    return m_abortRequested.load();
}

}  // namespace Diag
}  // namespace QuarnDiags
