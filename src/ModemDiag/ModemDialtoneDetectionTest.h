// ModemDialtoneDetectionTest.h - does the line plugged into the modem carry a dial tone?
#pragma once

#include "ModemTestFrame.h"

namespace QuarnDiags {
namespace ModemDiag {

class ModemDialtoneDetectionTest : public ModemTestFrame {
public:
    ModemDialtoneDetectionTest(std::ofstream& logFile, Diag::EventQueue& eventQueue);
    ~ModemDialtoneDetectionTest() override;

    // Dials an empty number with dial tone detection on ("atx4d;"): "OK"
    // within 5 s means a dial tone; anything else is a warning. Hangs up
    // either way.
    Diag::DiagnosticResult* CheckForDialtone(char* comPort);

protected:
    Diag::DiagnosticResult* runCheck(char* comPort, const Diag::DiagnosticSettings& settings) override;
};

}  // namespace ModemDiag
}  // namespace QuarnDiags
