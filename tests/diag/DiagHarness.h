// DiagHarness.h - runs one modem test through the diagnostic against a virtual modem.
#pragma once

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ExportClass.h"
#include "ModemDevice.h"
#include "ModemDiagnostic.h"
#include "QuarnDiags/IDiagnostics.h"
#include "TestSupport.h"
#include "VirtualModem.h"

namespace diagtest {

using namespace QuarnDiags;

// What one run of a test gave.
struct Outcome {
    Diag::TestResult verdict = Diag::PASSED;
    Uint code = 0;
    Diag::EventType type = Diag::INFORMATION_EVENT;
    std::vector<Uint> events;
    std::vector<Diag::EventType> eventTypes;
    Uint progress = 0;
    bool hasResult = false;
};

// A device the plug-in's enumerator could have made, with the given tty.
inline DeviceEnum::VirtualDevice ModemOn(const std::string& tty)
{
    devDetailStruct record;
    std::memset(&record, 0, sizeof record);
    std::strncpy(record.comPort, tty.c_str(), sizeof record.comPort - 1);
    record.deviceStatus = DEVSTATUS_ENABLED;
    return DeviceEnum::VirtualDevice(new ModemDiag::ModemDevice("TSY V.92 56K Modem", "modem", "TSY V.92 56K Modem",
                                                                "loc", "loc", record.comPort, 0, &record));
}

inline Outcome Collect(Diag::IDiagnostics& diagnostic, int testIndex)
{
    Outcome outcome;
    for (const Diag::DiagnosticEvent* event : diagnostic.getDiagnosticEvents()) {
        outcome.events.push_back(event->getId());
        outcome.eventTypes.push_back(event->getType());
    }
    const auto results = diagnostic.getDiagnosticResults();
    if (!results.empty()) {
        outcome.hasResult = true;
        outcome.verdict = results.back()->getResult();
        outcome.code = results.back()->getId();
        outcome.type = results.back()->getType();
    }
    outcome.progress = diagnostic.getTestStatus(testIndex).getProgress();
    return outcome;
}

// A virtual modem, a diagnostic whose log goes to a temporary folder, and
// a device on the modem's tty. The system root is the real one (the modem
// driver is not loaded here, so the modems are never in use).
class DiagHarness {
public:
    explicit DiagHarness(const modemsim::ModemProfile& profile = modemsim::ModemProfile(), bool log = true)
        : modem(profile)
    {
        unsetenv("MODEMDIAG_SYSROOT");
        g_logDirPath = dir.path();
        diagnostic = std::make_unique<ModemDiag::ModemDiagnostic>(log, DeviceEnum::IDeviceEnumerator::CUSTOMER);
        device = ModemOn(modem.slavePath());
    }

    Outcome run(int testIndex, bool haltOnError = false)
    {
        diagnostic->runTest(&device, testIndex, Diag::DiagnosticSettings(haltOnError));
        return Collect(*diagnostic, testIndex);
    }

    std::string logPath() const { return dir.file("TSYmodemDiagnostic.log"); }

    // The log with dates masked and the modem's tty shown as <tty>.
    std::string log() const
    {
        std::string text = testsupport::maskDates(testsupport::readFile(logPath()));
        const std::string tty = modem.slavePath();
        for (std::size_t at = text.find(tty); at != std::string::npos; at = text.find(tty, at)) {
            text.replace(at, tty.size(), "<tty>");
        }
        return text;
    }

    std::vector<std::string> logLines() const { return testsupport::readLines(logPath()); }

    testsupport::TempDir dir;
    modemsim::VirtualModem modem;
    std::unique_ptr<ModemDiag::ModemDiagnostic> diagnostic;
    DeviceEnum::VirtualDevice device;
};

inline bool Sent(const modemsim::VirtualModem& modem, const std::string& command)
{
    for (const std::string& line : modem.commands()) {
        if (line == command) {
            return true;
        }
    }
    return false;
}

// Waits (polling the modem's command log) until the modem has received the
// command; false after timeoutMs.
inline bool WaitForCommand(const modemsim::VirtualModem& modem, const std::string& command, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (Sent(modem, command)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace diagtest
