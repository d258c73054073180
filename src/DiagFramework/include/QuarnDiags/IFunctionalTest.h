// IFunctionalTest.h - one functional test that a diagnostic runs on a device.
#pragma once

#include <fstream>
#include <vector>

#include "QuarnDiags/DiagnosticEvent.h"
#include "QuarnDiags/DiagnosticResult.h"
#include "QuarnDiags/DiagnosticSettings.h"
#include "QuarnDiags/DiagnosticStatus.h"
#include "QuarnDiags/EventQueue.h"
#include "QuarnDiags/IDevice.h"
#include "QuarnDiags/IDeviceEnumerator.h"

namespace QuarnDiags {
namespace Diag {

class QUARNDIAGS_API IFunctionalTest {
public:
    IFunctionalTest(std::ofstream& logFile, EventQueue& eventQueue);
    virtual ~IFunctionalTest();

    // Runs the test once on the device and returns a new result, which
    // becomes the caller's. Blocks for the whole test.
    virtual DiagnosticResult* run(const DeviceEnum::IDevice* pDevice, const DiagnosticSettings& settings) = 0;
    virtual bool isDeviceSupported(const DeviceEnum::IDevice* pDevice,
                                   DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode) = 0;
    virtual DiagnosticStatus getStatus() const;

    // May be called from another thread while run() blocks.
    virtual void abortTest() = 0;
    virtual void suspendTest() = 0;
    virtual void resumeTest() = 0;

    // Hands an event to the diagnostic's queue, which owns it from then on.
    void addDiagnosticEvent(DiagnosticEvent* pEvent);

    std::ofstream& getLogFile() const { return m_logFile; }

protected:
    std::ofstream& m_logFile;
    EventQueue& m_eventQueue;
    // The test sets EXECUTING and its progress; the diagnostic that runs it
    // puts it back to READY before and marks it COMPLETED after each run.
    DiagnosticStatus m_status;

private:
    friend class IDiagnostics;
};

using IFunctionalTestVector = std::vector<IFunctionalTest*>;

}  // namespace Diag
}  // namespace QuarnDiags
