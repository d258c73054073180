// RunView.h - what a person sees of a run: live progress, events, summary.
#pragma once

#include <string>
#include <vector>

#include "Console.h"
#include "PackageConfig.h"
#include "PluginLog.h"
#include "Records.h"

namespace diaghost {

// On a terminal each running test has a live progress bar with events
// printed above it as they come; elsewhere the same facts come as plain
// lines, one per start, event and verdict, and one at least every 5 s while
// a long test runs. Every line fits the terminal; texts from the plug-in
// and the modem are shown with their control characters escaped.
class RunView {
public:
    // Verbose: details, and every log line of the plug-in under its test.
    // Quiet: only notices and the summary.
    RunView(Console& console, const PackageConfig& config, bool verbose, bool quiet)
        : m_console(console), m_config(config), m_verbose(verbose), m_quiet(quiet)
    {
    }

    void device(const DeviceRecord& device);
    void testStarted(int testIndex);
    // Called regularly while a test runs (progress in percent, seconds since its start).
    void progress(QuarnDiags::Uint percent, double seconds);
    void event(const EventRecord& event);
    // The plug-in's log lines of the running test: all of them when
    // verbose, else its error lines, which say what went wrong.
    void logLines(const std::vector<PluginLogLine>& lines);
    void testFinished(const TestRecord& test);
    void skipped(const DeviceRecord& device);
    void notice(const std::string& text);
    // A line for -v only.
    void detail(const std::string& text);
    // Before a test: how long the run waited for the modem driver to be
    // free, and whether it was in the end.
    void driverWait(double waitedMs, bool released);
    void summary(const std::vector<DeviceRecord>& devices, bool interrupted);

private:
    Console& m_console;
    const PackageConfig& m_config;
    const bool m_verbose;
    const bool m_quiet;
    int m_testIndex = -1;
    double m_lastReport = 0.0;  // seconds into the test of the last plain progress line
};

}  // namespace diaghost
