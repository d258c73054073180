// ModemATCommandTest.cpp - the fax service class commands, each answered "OK" or counted wrong.
#include "ModemATCommandTest.h"

namespace QuarnDiags {
namespace ModemDiag {

ModemATCommandTest::ModemATCommandTest(std::ofstream& logFile, Diag::EventQueue& eventQueue)
    : ModemTestFrame(logFile, eventQueue, "ModemATCommandTest", "CheckATCommands")
{
}

ModemATCommandTest::~ModemATCommandTest() = default;

Diag::DiagnosticResult* ModemATCommandTest::runCheck(char* comPort, const Diag::DiagnosticSettings& settings)
{
    return CheckATCommands(comPort, settings.getHaltOnError() ? 1 : 0);
}

Diag::DiagnosticResult* ModemATCommandTest::CheckATCommands(char* comPort, int haltOnError)
{
    bool passed = true;
    const char* const atCommands[] = {"at+fclass=1", "at+fclass=2", "at+fclass=2.0", ""};
    const Uint commandCount = 3;
    char buf[256];

    Check check;
    if (!openModem(check, comPort)) {
        return abortExit(check);
    }

    // The identification is only asked for; its text is not judged.
    PortPrintf(check.hPort, "ati3\r");
    PortReadLine(check.hPort, buf, sizeof buf, 1000);
    PortWaitFor(check.hPort, "OK\r", 1000);

    // Nothing is flushed between commands: an "OK" that comes late is taken
    // by the next command's wait.
    for (Uint k = 0; atCommands[k][0] != '\0'; ++k) {
        const char* command = atCommands[k];
        PortPrintf(check.hPort, "%s\r", command);
        if (PortWaitFor(check.hPort, "OK", 1000)) {
            postEvent(CORRECT_AT_RESPONSE, Diag::INFORMATION_EVENT);
            logLine(check.funcName, std::string("Correct AT Command response received for command ") + command);
        } else {
            postEvent(INCORRECT_AT_RESPONSE_ERROR, Diag::ERROR_EVENT);
            logLine(check.funcName, std::string("Incorrect AT Command response received for command ") + command);
            passed = false;
            if (haltOnError != 0) {
                postEvent(HALTED_ON_ERROR, Diag::INFORMATION_EVENT);
                break;
            }
        }
        m_status.setProgress((100 * (k + 1)) / commandCount);
    }

    check.presult = passed ? makeResult(Diag::PASSED, TEST_COMPLETED_SUCCESSFULLY, Diag::INFORMATION_EVENT)
                           : makeResult(Diag::FAILED, INCORRECT_AT_RESPONSE_ERROR, Diag::ERROR_EVENT);
    return normalExit(check, 0);
}

}  // namespace ModemDiag
}  // namespace QuarnDiags
