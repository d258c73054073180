// ModemTestFrame.h - what the three modem tests share: run, control, opening and exits.
#pragma once

#include <atomic>
#include <string>

#include "ModemDiagMsg.h"
#include "PortComm.h"
#include "QuarnDiags/IFunctionalTest.h"

namespace QuarnDiags {
namespace ModemDiag {

// Base of the modem tests. run() takes the tty path from the device (a
// ModemDevice), makes the test's log the current message log and calls the
// test's check; the check opens and resets the modem through openModem(),
// runs its own dialogue and leaves through normalExit() or abortExit().
class ModemTestFrame : public Diag::IFunctionalTest {
public:
    // className and checkName make the log prefixes:
    // "ModemDiag::<className>::run() [<tty>]" and
    // "ModemDiag::<className>::<checkName>() [<tty>] - ".
    ModemTestFrame(std::ofstream& logFile, Diag::EventQueue& eventQueue, const char* className,
                   const char* checkName);
    ~ModemTestFrame() override;

    Diag::DiagnosticResult* run(const DeviceEnum::IDevice* pDevice, const Diag::DiagnosticSettings& settings) override;
    // True exactly when the device has a tty; the mode does not matter.
    bool isDeviceSupported(const DeviceEnum::IDevice* pDevice,
                           DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode) override;
    // They only store a flag, and may come from another thread during run().
    void abortTest() override;
    void suspendTest() override;
    void resumeTest() override;

protected:
    // State of one check: its log prefix, its port, its result so far.
    struct Check {
        char funcName[256];
        HANDLE hPort;
        Diag::DiagnosticResult* presult;
    };

    // The test's own check, called by run() with the device's tty path.
    virtual Diag::DiagnosticResult* runCheck(char* comPort, const Diag::DiagnosticSettings& settings) = 0;

    bool abortRequested() const { return m_abort.load(); }

    // One log line, prefix then text, only while the log is open.
    void logLine(const char* prefix, const std::string& text);
    void postEvent(Uint code, Diag::EventType type);
    static Diag::DiagnosticResult* makeResult(Diag::TestResult verdict, Uint code, Diag::EventType type);

    // The common opening: formats the check prefix, logs "Started", checks
    // that the modems are not in use, opens and sets up the port, flushes it
    // and resets the modem. False when the check must leave through
    // abortExit() (the result is then set).
    bool openModem(Check& check, const char* comPort);
    // Closes the port if open, logs "Aborting test"; the result, or the
    // fall-back (FAILED, TEST_FAILED, ERROR_EVENT) when none was set.
    Diag::DiagnosticResult* abortExit(Check& check);
    // Closes the port, pauses pauseMs after closing, logs "Normal exit"; the
    // result, or a pass when none was set.
    Diag::DiagnosticResult* normalExit(Check& check, Uint pauseMs);

private:
    const char* m_className;
    const char* m_checkName;
    std::atomic<bool> m_abort{false};
    std::atomic<bool> m_suspend{false};
};

}  // namespace ModemDiag
}  // namespace QuarnDiags
