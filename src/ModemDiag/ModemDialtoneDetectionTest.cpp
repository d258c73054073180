// ModemDialtoneDetectionTest.cpp - dial with dial tone detection, judge the answer, hang up.
#include "ModemDialtoneDetectionTest.h"

namespace QuarnDiags {
namespace ModemDiag {

ModemDialtoneDetectionTest::ModemDialtoneDetectionTest(std::ofstream& logFile, Diag::EventQueue& eventQueue)
    : ModemTestFrame(logFile, eventQueue, "ModemDialtoneDetectionTest", "CheckForDialtone")
{
}

ModemDialtoneDetectionTest::~ModemDialtoneDetectionTest() = default;

Diag::DiagnosticResult* ModemDialtoneDetectionTest::runCheck(char* comPort,
                                                             const Diag::DiagnosticSettings& /*settings*/)
{
    return CheckForDialtone(comPort);
}

Diag::DiagnosticResult* ModemDialtoneDetectionTest::CheckForDialtone(char* comPort)
{
    Check check;
    if (!openModem(check, comPort)) {
        return abortExit(check);
    }

    // The semicolon returns the modem to command state after dialling, so
    // "OK" is its answer when it heard a dial tone.
    PortPrintf(check.hPort, "atx4d;\r");
    m_status.setProgress(10);
    if (PortWaitFor(check.hPort, "OK", 5000)) {
        postEvent(DIALTONE_PRESENT, Diag::INFORMATION_EVENT);
        logLine(check.funcName, "Dialtone detected");
    } else {
        postEvent(NO_DIALTONE, Diag::INFORMATION_EVENT);
        check.presult = makeResult(Diag::UNUSUAL_STATUS, NO_DIALTONE_WARNING, Diag::WARNING_EVENT);
        logLine(check.funcName, "No dialtone detected");
    }

    PortPrintf(check.hPort, "ath\r");
    PortWaitFor(check.hPort, "OK", 3000);
    m_status.setProgress(90);

    // The line gets time to settle after the hang-up before anything else
    // uses the modem.
    return normalExit(check, 1500);
}

}  // namespace ModemDiag
}  // namespace QuarnDiags
