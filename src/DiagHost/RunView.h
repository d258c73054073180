// RunView.h - what a person sees of a run: live progress, events, summary.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "Console.h"
#include "LogTail.h"
#include "PackageConfig.h"
#include "Records.h"

namespace diaghost {

// On a terminal each running test has a live progress bar with events
// printed above it as they come; elsewhere the same facts come as plain
// lines, one per start, event and verdict, and one at least every 5 s while
// a long test runs. Every line fits the terminal; texts from the plug-in
// and the modem are shown with their control characters escaped.
class RunView {
public:
    RunView(Console& console, const PackageConfig& config) : m_console(console), m_config(config) {}

    // Quiet: only notices and the summary are shown.
    void setQuiet(bool quiet) { m_quiet = quiet; }
    // Under each test, the lines the plug-in appends to this log file while
    // the test runs, followed from its size now: all of them when
    // everything is set (verbose, which also shows details), else only its
    // error lines, which say what went wrong (a port that went away).
    void followLog(const std::string& path, bool everything);

    void device(const DeviceRecord& device);
    void testStarted(const DeviceRecord& device, int testIndex);
    // Called regularly while a test runs (progress in percent, seconds since its start).
    void progress(QuarnDiags::Uint percent, double seconds);
    void event(const EventRecord& event);
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
    void showLogLines(bool flush);
    std::string limitText(int testIndex) const;

    Console& m_console;
    const PackageConfig& m_config;
    int m_testIndex = -1;
    std::string m_tty;  // of the modem under test
    bool m_quiet = false;
    bool m_following = false;
    bool m_verbose = false;
    LogTail m_log;
    std::map<std::string, std::deque<std::string>> m_logLines;  // read, not yet shown, by tty
    int m_linesShown = 0;  // lines naming its tty shown under the running test
    double m_lastReport = 0.0;  // seconds into the test of the last plain progress line
};

// The word a result is shown with: PASSED, UNUSUAL, FAILED, ABORTED, NOT RUN.
const char* outcomeLabel(Outcome outcome);
// What an outcome means to a person, in one sentence.
const char* outcomeMeaning(Outcome outcome);

}  // namespace diaghost
