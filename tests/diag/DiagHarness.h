// DiagHarness.h - runs the modem tests through the diagnostic against virtual modems.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "ModemDevice.h"
#include "ModemDiagMsg.h"
#include "VirtualModem.h"

namespace diagtest {

using namespace QuarnDiags;
using namespace QuarnDiags::ModemDiag;
using Codes = std::vector<Uint>;

// What one run of a test gave.
struct Outcome {
    Diag::TestResult verdict = Diag::PASSED;
    Uint code = 0;
    Diag::EventType type = Diag::INFORMATION_EVENT;
    Codes events;
    std::vector<Diag::EventType> eventTypes;
    Uint progress = 0;
};

// A run's verdict, result code and type, and its event codes.
inline void ExpectOutcome(const Outcome& outcome, Diag::TestResult verdict, Uint code, Diag::EventType type,
                          const Codes& events)
{
    EXPECT_EQ(verdict, outcome.verdict);
    EXPECT_EQ(code, outcome.code);
    EXPECT_EQ(type, outcome.type);
    EXPECT_EQ(events, outcome.events);
}

// The diagnostic, with its tests within reach.
struct OpenDiagnostic : ModemDiagnostic {
    using ModemDiagnostic::ModemDiagnostic;
    Diag::IFunctionalTest* test(int i) const { return m_tests.at(static_cast<std::size_t>(i)); }
};

// A device as the enumerator makes it, on the given tty.
inline DeviceEnum::VirtualDevice ModemOn(const std::string& tty)
{
    devDetailStruct record{};
    std::snprintf(record.comPort, sizeof record.comPort, "%s", tty.c_str());
    return DeviceEnum::VirtualDevice(
        new ModemDevice("modem", "modem", "modem", "loc", "loc", record.comPort, 0, &record));
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
        outcome.verdict = results.back()->getResult();
        outcome.code = results.back()->getId();
        outcome.type = results.back()->getType();
    }
    outcome.progress = diagnostic.getTestStatus(testIndex).getProgress();
    return outcome;
}

// A virtual modem, a device on its tty and a diagnostic logging into a
// temporary folder, on the real system root (where the modem driver is not
// loaded, so the modems are never in use).
struct DiagHarness {
    explicit DiagHarness(const modemsim::ModemProfile& profile = modemsim::ModemProfile())
        : modem(profile), device(ModemOn(modem.slavePath()))
    {
        unsetenv("MODEMDIAG_SYSROOT");
        testsupport::settlePluginLogs(dir.path());
        diagnostic = std::make_unique<OpenDiagnostic>(true, DeviceEnum::IDeviceEnumerator::CUSTOMER);
    }

    Outcome run(int testIndex, bool haltOnError = false)
    {
        diagnostic->runTest(&device, testIndex, Diag::DiagnosticSettings(haltOnError));
        return Collect(*diagnostic, testIndex);
    }

    // The log, dates masked and the modem's tty shown as <tty>.
    std::string log() const
    {
        std::string text = testsupport::maskDates(testsupport::readFile(dir.file("TSYmodemDiagnostic.log")));
        const std::string tty = modem.slavePath();
        for (std::size_t at = text.find(tty); at != std::string::npos; at = text.find(tty, at)) {
            text.replace(at, tty.size(), "<tty>");
        }
        return text;
    }

    bool sent(const std::string& command) const
    {
        const auto commands = modem.commands();
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    }

    // Calls abortDiagnostic() from another thread once the modem has
    // received the command and the test's progress has reached minProgress.
    std::thread abortAfter(const std::string& command, int testIndex, Uint minProgress)
    {
        return std::thread([this, command, testIndex, minProgress] {
            while (!sent(command) || diagnostic->getTestStatus(testIndex).getProgress() < minProgress) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            diagnostic->abortDiagnostic();
        });
    }

    // Whether the log holds the line "<check prefix><text>".
    bool logged(const std::string& text) const { return log().find("[<tty>] - " + text + "\n") != std::string::npos; }

    testsupport::TempDir dir;
    modemsim::VirtualModem modem;
    DeviceEnum::VirtualDevice device;
    std::unique_ptr<OpenDiagnostic> diagnostic;
};

}  // namespace diagtest
