// IDiagnostics.h - a diagnostic: a named list of functional tests, run on a device.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "QuarnDiags/IFunctionalTest.h"
#include "QuarnDiags/IRunObserver.h"
#include "QuarnDiags/VirtualDevice.h"

namespace QuarnDiags {
namespace Diag {

using DiagnosticResultVector = std::vector<const DiagnosticResult*>;

// A derived diagnostic creates its tests and appends them to m_tests; it
// owns them and deletes them in its destructor.
//
// runDiagnostic() and runTests() block their caller. From other threads the
// host may read the status and progress, take snapshots of events and
// results, and call abortDiagnostic(), suspendDiagnostic() and
// resumeDiagnostic(), which are passed on to the running test.
//
// An abort holds until a run ends: one requested while no run is in
// progress ends the next run before its first test, so a request made just
// before a run starts is never lost.
class QUARNDIAGS_API IDiagnostics {
public:
    IDiagnostics(const char* name, const char* version, const char* description, bool diagLog,
                 DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode);
    virtual ~IDiagnostics();
    IDiagnostics(const IDiagnostics&) = delete;
    IDiagnostics& operator=(const IDiagnostics&) = delete;

    // Runs every test that supports the device, in list order. Events and
    // results of the previous run are dropped first. An abort ends the run
    // after the running test; with halt on error no test starts after one
    // has FAILED.
    virtual void runDiagnostic(DeviceEnum::VirtualDevice* pDevice, const DiagnosticSettings& settings);
    virtual bool isDeviceSupportedByTest(DeviceEnum::VirtualDevice* pDevice, int testIndex);
    // EXECUTING (or SUSPENDED) while a run blocks, with the run's overall
    // progress; COMPLETED after a run; READY before the first.
    virtual DiagnosticStatus getDiagnosticStatus();
    virtual void abortDiagnostic();
    virtual void suspendDiagnostic();
    virtual void resumeDiagnostic();
    // Snapshots; the objects stay the diagnostic's and are valid until the
    // next run starts or the diagnostic is destroyed.
    virtual DiagnosticEventVector getDiagnosticEvents();
    virtual DiagnosticResultVector getDiagnosticResults();
    virtual const char* getName();
    virtual const char* getVersion();
    virtual const char* getDescription();

    // ---- Operations of our own, after the documented ones.

    // Runs one test (by its index in the list) as a run of its own: the same
    // as runTests() with that one index and no observer.
    virtual void runTest(DeviceEnum::VirtualDevice* pDevice, int testIndex, const DiagnosticSettings& settings);
    virtual int getTestCount() const;
    // Status of one test; UNKNOWN for an index out of range.
    virtual DiagnosticStatus getTestStatus(int testIndex) const;
    // Index of the test that is running, -1 when none is.
    virtual int getCurrentTestIndex() const;
    // Called on the running thread for each event as it is posted during a
    // run, after the run's observer; pass an empty function to stop listening.
    virtual void setEventListener(EventQueue::Listener listener);
    virtual bool isAbortRequested() const;

    // Runs the chosen tests (indices into the list, in the order given) with
    // runDiagnostic()'s policy: a test that does not support the device is
    // passed over, with halt on error no test starts after one has FAILED,
    // and an abort ends the run after the running test. Events and results
    // of the previous run are dropped first. observer (may be null) hears
    // the run as it happens, on this thread.
    virtual void runTests(DeviceEnum::VirtualDevice* pDevice, const std::vector<int>& testIndices,
                          const DiagnosticSettings& settings, IRunObserver* observer);

protected:
    IFunctionalTestVector m_tests;
    EventQueue m_eventQueue;
    // Option bits for derived diagnostics; 0 means none.
    int m_options = 0;
    bool m_diagLog;
    DeviceEnum::IDeviceEnumerator::DiagnosticMode m_diagMode;

private:
    bool waitWhileSuspended();
    void forwardEvent(IRunObserver* observer, const DiagnosticEvent& event);

    std::string m_name;
    std::string m_version;
    std::string m_description;

    DiagnosticStatus m_status;
    std::atomic<int> m_currentTest{-1};
    std::atomic<bool> m_abortRequested{false};
    std::atomic<bool> m_suspended{false};
    // Tests of the run in progress, and how many of them have finished.
    std::atomic<int> m_runTotal{0};
    std::atomic<int> m_runDone{0};

    mutable std::mutex m_mutex;  // guards m_results and m_listener; with m_resumed, the suspension
    std::condition_variable m_resumed;
    std::vector<std::unique_ptr<DiagnosticResult>> m_results;
    std::shared_ptr<const EventQueue::Listener> m_listener;
};

}  // namespace Diag
}  // namespace QuarnDiags
