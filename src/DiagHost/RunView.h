// RunView.h - what a person sees of a run: live progress, events, summary.
#pragma once

#include <string>
#include <vector>

#include "Console.h"
#include "PackageConfig.h"
#include "PluginLog.h"
#include "Records.h"

namespace diaghost {

// How the terminal colours an outcome's label.
Colour colourOf(Outcome outcome);

// A test's time as the terminal shows it: "6 ms" below a second, "11.5 s".
std::string durationText(double seconds);

// On a terminal each running test has a live progress bar with events
// printed above it; elsewhere plain lines, one per start, event and verdict
// and one every 5 s while a test runs. Texts from the plug-in and the modem
// are shown with their control characters escaped.
class RunView {
public:
    // Verbose: details and the plug-in's every log line; quiet: only notices and the summary.
    RunView(Console& console, const PackageConfig& config, bool verbose, bool quiet)
        : m_console(console), m_config(config), m_verbose(verbose), m_quiet(quiet)
    {
    }

    void device(const DeviceRecord& device);
    void testStarted(int testIndex);
    void progress(QuarnDiags::Uint percent, double seconds);
    void event(const EventRecord& event);
    void logLines(const std::vector<PluginLogLine>& lines);  // all when verbose, else the error lines
    void testFinished(const TestRecord& test);
    void skipped(const DeviceRecord& device);
    void notice(const std::string& text) { m_console.line(m_console.paint(text, Colour::Bold)); }
    void detail(const std::string& text);  // a line for -v only
    // Before a test: how long the run waited for the modem driver, and whether it got free.
    void driverWait(double waitedMs, bool released);
    // run --repeat: the round that starts now, of how many.
    void round(int number, int of);
    // The summary over every round run (roundsRun of roundsAsked).
    void summary(const std::vector<DeviceRecord>& devices, bool interrupted, int roundsRun = 1, int roundsAsked = 1);

private:
    Console& m_console;
    const PackageConfig& m_config;
    const bool m_verbose;
    const bool m_quiet;
    int m_testIndex = -1;
    double m_lastReport = 0.0;  // seconds into the test of the last plain progress line
};

}  // namespace diaghost
