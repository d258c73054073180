// ModemLoopbackTest.h - the modem's own loopback self test and its error count.
#pragma once

#include "ModemTestFrame.h"

namespace QuarnDiags {
namespace ModemDiag {

class ModemLoopbackTest : public ModemTestFrame {
public:
    ModemLoopbackTest(std::ofstream& logFile, Diag::EventQueue& eventQueue);
    ~ModemLoopbackTest() override;

    // Runs the self test ("at&t8") for about 3 s, ends it with "ath" and
    // reads the error count line: 0 passes, anything else fails. The only
    // test that reacts to abortTest().
    Diag::DiagnosticResult* CheckLoopback(char* comPort);

protected:
    Diag::DiagnosticResult* runCheck(char* comPort, const Diag::DiagnosticSettings& settings) override;
};

}  // namespace ModemDiag
}  // namespace QuarnDiags
