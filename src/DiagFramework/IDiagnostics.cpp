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
    runTests(pDevice, indices, settings);
}

void IDiagnostics::runTest(DeviceEnum::VirtualDevice* pDevice, int testIndex, const DiagnosticSettings& settings)
{
    std::vector<int> indices;
    if (testIndex >= 0 && testIndex < static_cast<int>(m_tests.size())) {
        indices.push_back(testIndex);
    }
    runTests(pDevice, indices, settings);
}

void IDiagnostics::runTests(DeviceEnum::VirtualDevice* pDevice, const std::vector<int>& indices,
                            const DiagnosticSettings& settings)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_results.clear();
        m_abortRequested.store(false);
    }
    m_eventQueue.clear();

    // Only the tests that support the device take part in the run.
    std::vector<int> runnable;
    for (int index : indices) {
        if (isDeviceSupportedByTest(pDevice, index)) {
            runnable.push_back(index);
        }
    }
    m_runTotal.store(static_cast<int>(runnable.size()));
    m_runDone.store(0);
    m_status.setProgress(0);
    m_status.setStatus(DiagnosticStatus::EXECUTING);

    for (int index : runnable) {
        if (!waitWhileSuspended()) {
            break;
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
            break;
        }
        DiagnosticResult* result = test->run(pDevice->getDevice(), settings);
        m_currentTest.store(-1);
        m_eventQueue.setTestIndex(-1);
        test->m_status.setStatus(DiagnosticStatus::COMPLETED);
        m_runDone.fetch_add(1);

        bool failed = false;
        if (result != nullptr) {
            result->m_testIndex = index;
            failed = result->getResult() == FAILED;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_results.emplace_back(result);
        }
        if (failed && settings.getHaltOnError()) {
            break;
        }
    }

    const int total = m_runTotal.load();
    m_status.setProgress(total > 0 ? static_cast<Uint>(m_runDone.load() * 100 / total) : 100);
    m_status.setStatus(DiagnosticStatus::COMPLETED);
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
    m_eventQueue.setListener(std::move(listener));
}

bool IDiagnostics::isAbortRequested() const
{
    return m_abortRequested.load();
}

}  // namespace Diag
}  // namespace QuarnDiags
