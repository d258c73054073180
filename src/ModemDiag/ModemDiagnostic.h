// ModemDiagnostic.h - the diagnostic the host gets: three modem tests and their shared log.
#pragma once

#include <fstream>

#include "QuarnDiags/IDiagnostics.h"

namespace QuarnDiags {
namespace ModemDiag {

// "Modem Test" 1.0. Owns its tests, registered in the order dial tone,
// loopback, AT command (indexes 0, 1, 2). Every diagnostic of the process
// and every test writes to one log file, TSYmodemDiagnostic.log in the log
// folder, opened by the first diagnostic made with logging on and closed
// when the count of diagnostics returns to 0.
class ModemDiagnostic : public Diag::IDiagnostics {
public:
    enum TestIndex { DIALTONE_TEST = 0, LOOPBACK_TEST = 1, AT_COMMAND_TEST = 2 };

    ModemDiagnostic(bool diagLog, DeviceEnum::IDeviceEnumerator::DiagnosticMode diagMode);
    ~ModemDiagnostic() override;

    // The shared log stream and how many diagnostics hold it.
    static std::ofstream& logFile() { return s_logFile; }
    static Uint logFileInitCount() { return s_logFileInitCount; }

private:
    static std::ofstream s_logFile;
    static Uint s_logFileInitCount;
};

}  // namespace ModemDiag
}  // namespace QuarnDiags
