// ModemATCommandTest.h - does the modem acknowledge the fax service class commands?
#pragma once

#include "ModemTestFrame.h"

namespace QuarnDiags {
namespace ModemDiag {

class ModemATCommandTest : public ModemTestFrame {
public:
    ModemATCommandTest(std::ofstream& logFile, Diag::EventQueue& eventQueue);
    ~ModemATCommandTest() override;

    // Sends at+fclass=1, =2 and =2.0 and expects "OK" to each within a
    // second; one missing "OK" fails the test, and with haltOnError (not 0)
    // ends it at once.
    Diag::DiagnosticResult* CheckATCommands(char* comPort, int haltOnError);

protected:
    Diag::DiagnosticResult* runCheck(char* comPort, const Diag::DiagnosticSettings& settings) override;
};

}  // namespace ModemDiag
}  // namespace QuarnDiags
