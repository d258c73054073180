// RunView.cpp - progress bars, event lines and the summary table of a run.
#include "RunView.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "Table.h"
#include "Text.h"

namespace diaghost {

using QuarnDiags::Diag::EventType;

namespace {

constexpr std::size_t kWidestBar = 30;
constexpr std::size_t kNarrowestBar = 8;
// The test's title stays on the live line only beside a bar this wide.
constexpr std::size_t kBarBesideTitle = 15;
// Off a terminal, a running test says so this often.
constexpr double kPlainReportSeconds = 5.0;

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", value);
    return text;
}

std::string percent(QuarnDiags::Uint value)
{
    return std::to_string(value) + "%";
}

Colour outcomeColour(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Passed: return Colour::Green;
    case Outcome::Unusual: return Colour::Yellow;
    case Outcome::Failed: return Colour::Red;
    case Outcome::Aborted: return Colour::Cyan;
    case Outcome::NotRun: return Colour::Dim;
    }
    return Colour::Plain;
}

const char* typeLabel(EventType type)
{
    switch (type) {
    case QuarnDiags::Diag::INFORMATION_EVENT: return "info";
    case QuarnDiags::Diag::WARNING_EVENT: return "warning";
    case QuarnDiags::Diag::ERROR_EVENT: return "error";
    }
    return "event";
}

Colour typeColour(EventType type)
{
    switch (type) {
    case QuarnDiags::Diag::WARNING_EVENT: return Colour::Yellow;
    case QuarnDiags::Diag::ERROR_EVENT: return Colour::Red;
    default: return Colour::Plain;
    }
}

std::string orDash(const std::string& text)
{
    return text.empty() ? std::string("-") : text;
}

// A test's log line "ModemDiag::<class>::<function>() [<tty>] - <text>"
// shown as "<function>: <text>": the test and tty are those shown above it.
// Other lines (the port layer's, the message functions') stay whole.
std::string shortLogLine(const std::string& line)
{
    const std::string::size_type call = line.find("() [");
    if (line.compare(0, 11, "ModemDiag::") != 0 || call == std::string::npos) {
        return line;
    }
    const std::string::size_type close = line.find(']', call);
    const std::string::size_type name = line.rfind("::", call);
    if (close == std::string::npos || name == std::string::npos) {
        return line;
    }
    const std::string function = line.substr(name + 2, call - name - 2);
    std::string rest = line.substr(close + 1);
    if (rest.compare(0, 3, " - ") == 0) {
        rest.erase(0, 3);
    }
    return rest.empty() ? function : function + ": " + rest;
}

// The plug-in's error lines ("Tessaly Modem Diagnostics: <what failed>"):
// a port that went away, a write the modem's tty refused.
bool isErrorLine(const std::string& line)
{
    return line.compare(0, 27, "Tessaly Modem Diagnostics: ") == 0;
}

bool isRunOpening(const std::string& line)
{
    const std::string::size_type call = line.find("::run() [");
    return line.compare(0, 11, "ModemDiag::") == 0 && call != std::string::npos && line.back() == ']' &&
           line.find(']', call) == line.size() - 1;
}

// The tty a test's log line names ("[/dev/ttySM1]"), "" for a line that names none.
std::string ttyOf(const std::string& line)
{
    const std::string::size_type open = line.find("[/dev/");
    const std::string::size_type close = open == std::string::npos ? open : line.find(']', open);
    return close == std::string::npos ? std::string() : line.substr(open + 1, close - open - 1);
}

std::string notTestedReason(const DeviceRecord& device)
{
    return device.skipped.empty() ? std::string("no selected test ran") : device.skipped.front().reason;
}

}  // namespace

const char* outcomeLabel(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Passed: return "PASSED";
    case Outcome::Unusual: return "UNUSUAL";
    case Outcome::Failed: return "FAILED";
    case Outcome::Aborted: return "ABORTED";
    case Outcome::NotRun: return "NOT RUN";
    }
    return "NOT RUN";
}

const char* outcomeMeaning(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Passed:
        return "the modem answered as a working modem does";
    case Outcome::Unusual:
        return "the test could not judge the modem (busy or missing port, no dial tone, no answer): "
               "check the setup and run it again";
    case Outcome::Failed:
        return "the modem answered wrongly: it is faulty or misconfigured";
    case Outcome::Aborted:
        return "the test was stopped before it finished and says nothing about the modem: run it again for a verdict";
    case Outcome::NotRun:
        return "the test could not run on this modem: its row says why";
    }
    return "";
}

std::string RunView::limitText(int testIndex) const
{
    const double limit = m_config.maxSeconds(testIndex);
    if (limit <= 0.0) {
        return std::string();
    }
    char text[32];
    std::snprintf(text, sizeof text, "up to %g s", limit);
    return text;
}

void RunView::device(const DeviceRecord& device)
{
    if (m_quiet) {
        return;
    }
    m_console.line();
    std::string text = "Modem " + std::to_string(device.index) + ": " + orDash(device.tty) + ", " +
                       (device.pciAddress.empty() ? device.location : shortPciAddress(device.pciAddress));
    if (device.slot != 0) {
        text += ", slot " + std::to_string(device.slot);
    }
    if (!device.fru.firmwareRevision.empty()) {
        text += ", firmware " + device.fru.firmwareRevision;
    }
    text += ", " + device.status;
    m_console.line(m_console.paint(fitWidth(printable(text), m_console.width()), Colour::Bold));
}

void RunView::skipped(const DeviceRecord& device)
{
    if (!m_quiet) {
        m_console.line("  not tested: " + printable(notTestedReason(device)));
    }
}

void RunView::testStarted(const DeviceRecord& device, int testIndex)
{
    m_testIndex = testIndex;
    m_tty = device.tty;
    m_lastReport = 0.0;
    m_linesShown = 0;
    if (m_quiet) {
        return;
    }
    if (m_console.isTerminal()) {
        progress(0, 0.0);
        return;
    }
    std::string about;
    if (testIndex >= 0 && static_cast<std::size_t>(testIndex) < m_config.tests.size()) {
        about = m_config.tests[static_cast<std::size_t>(testIndex)].title;
    }
    const std::string limit = limitText(testIndex);
    if (!limit.empty()) {
        about += (about.empty() ? "" : ", ") + limit;
    }
    m_console.line("  " + m_config.testName(testIndex) + ": started" + (about.empty() ? "" : " (" + about + ")"));
}

void RunView::progress(QuarnDiags::Uint value, double elapsed)
{
    showLogLines(false);
    if (m_quiet) {
        return;
    }
    const std::string name = m_config.testName(m_testIndex);
    const std::string limit = limitText(m_testIndex);
    if (!m_console.isTerminal()) {
        if (elapsed - m_lastReport >= kPlainReportSeconds) {
            m_lastReport = elapsed;
            m_console.line("  " + name + ": running, " + seconds(elapsed) + (limit.empty() ? "" : " of " + limit) +
                           ", " + percent(value > 100 ? 100 : value));
        }
        return;
    }

    std::string title;
    if (m_testIndex >= 0 && static_cast<std::size_t>(m_testIndex) < m_config.tests.size()) {
        title = m_config.tests[static_cast<std::size_t>(m_testIndex)].title;
    }
    const std::string head = "  " + pad(name, 9) + " ";
    const std::string tail =
        " " + pad(percent(value > 100 ? 100 : value), 4) + " " + seconds(elapsed) + (limit.empty() ? "" : " of " + limit);
    const std::size_t room = m_console.liveWidth();
    const std::size_t fixed = displayWidth(head) + 2 + displayWidth(tail);
    std::size_t bar = kWidestBar;
    if (room != 0) {
        const std::size_t withTitle = fixed + displayWidth(title) + 1;
        if (room >= withTitle + kBarBesideTitle) {
            bar = std::min(kWidestBar, room - withTitle);
        } else {
            title.clear();
            bar = room > fixed + kNarrowestBar ? std::min(kWidestBar, room - fixed) : kNarrowestBar;
        }
    }
    const std::size_t filled = bar * (value > 100 ? 100 : value) / 100;
    m_console.live(head + (title.empty() ? "" : title + " ") + "[" + std::string(filled, '#') +
                   std::string(bar - filled, '.') + "]" + tail);
}

void RunView::event(const EventRecord& event)
{
    // The log lines written before the event come first.
    showLogLines(false);
    if (m_quiet) {
        return;
    }
    std::string text = "      " + m_console.paint(pad(typeLabel(event.type), 7), typeColour(event.type)) + " " +
                       m_config.codeName(event.code);
    const std::string meaning = m_config.codeText(event.code);
    if (!meaning.empty()) {
        text += ": " + meaning;
    }
    m_console.line(text);
}

void RunView::followLog(const std::string& path, bool everything)
{
    m_following = true;
    m_verbose = everything;
    m_log.start(path);
}

void RunView::showLogLines(bool flush)
{
    if (!m_following) {
        return;
    }
    // Each line waits for the modem it names (a line that names none, such
    // as the serial layer's, goes with the modem shown now): another
    // program's run may log to the same file.
    for (std::string& line : m_log.newLines(flush)) {
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;  // blank lines say nothing
        }
        const std::string tty = ttyOf(line);
        m_logLines[tty.empty() ? m_tty : tty].push_back(std::move(line));
    }
    // The test runs on its own while this view catches up, so the next
    // test's lines may already be there: they wait for that test, whose
    // first line is its run's opening line "ModemDiag::<test>::run() [<tty>]".
    std::deque<std::string>& lines = m_logLines[m_tty];
    while (!lines.empty()) {
        const std::string& line = lines.front();
        if (m_linesShown > 0 && isRunOpening(line)) {
            break;
        }
        if (!m_quiet && (m_verbose || isErrorLine(line))) {
            m_console.line("      | " + printable(shortLogLine(line)));
        }
        if (!ttyOf(line).empty()) {
            ++m_linesShown;
        }
        lines.pop_front();
    }
}

void RunView::testFinished(const TestRecord& test)
{
    showLogLines(true);
    if (m_quiet) {
        return;
    }
    m_console.endLive();
    const Outcome outcome = outcomeOf(test);
    // The code last: on a narrow terminal it is what moves to a line of its own.
    m_console.line("  " + pad(m_config.testName(test.index), 9) + " " +
                   m_console.paint(outcomeLabel(outcome), outcomeColour(outcome)) + "  " + seconds(test.seconds) +
                   "  " + percent(test.progress) + "  " + m_config.codeName(test.code));
}

void RunView::notice(const std::string& text)
{
    m_console.line(m_console.paint(text, Colour::Bold));
}

void RunView::detail(const std::string& text)
{
    if (m_verbose && !m_quiet) {
        m_console.line("  " + text);
    }
}

void RunView::driverWait(double waitedMs, bool released)
{
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.0f ms", waitedMs);
    if (released) {
        detail(std::string("Waited ") + ms + " for the modem driver to release the port closed last.");
    } else if (!m_quiet) {
        notice(std::string("The modem driver was still in use after ") + ms + "; the test starts anyway.");
    }
}

void RunView::summary(const std::vector<DeviceRecord>& devices, bool interrupted)
{
    std::map<Outcome, int> counts;
    std::set<Outcome> outcomes;
    std::set<QuarnDiags::Uint> codes;
    int untested = 0;

    Table table({{"MODEM"}, {"TEST"}, {"RESULT"}, {"CODE"}, {"DONE", 2}, {"TIME", 1}}, 2);
    for (const DeviceRecord& device : devices) {
        // "0 ttySM0": the index and the tty's name, short enough for narrow windows.
        std::string tty = device.tty.compare(0, 5, "/dev/") == 0 ? device.tty.substr(5) : device.tty;
        const std::string modem = std::to_string(device.index) + " " + orDash(tty);
        for (const TestRecord& test : device.tests) {
            const Outcome outcome = outcomeOf(test);
            ++counts[outcome];
            outcomes.insert(outcome);
            if (outcome != Outcome::Passed || test.code != QuarnDiags::Diag::TEST_COMPLETED_SUCCESSFULLY) {
                codes.insert(test.code);
            }
            table.row({{modem},
                       {test.name},
                       {outcomeLabel(outcome), outcomeColour(outcome)},
                       {m_config.codeName(test.code)},
                       {percent(test.progress)},
                       {seconds(test.seconds)}});
        }
        if (device.tests.empty()) {
            ++untested;
            table.row({{modem}, {"-"}, {"NOT TESTED", Colour::Dim}, {notTestedReason(device)}, {"-"}, {"-"}});
        }
    }

    m_console.line();
    m_console.line(m_console.paint("Summary", Colour::Bold));
    table.print(m_console);

    if (!codes.empty() || !outcomes.empty()) {
        m_console.line();
        m_console.line(m_console.paint("What the results mean", Colour::Bold));
        for (Outcome outcome : outcomes) {
            m_console.line("  " + m_console.paint(outcomeLabel(outcome), outcomeColour(outcome)) + ": " +
                           outcomeMeaning(outcome));
        }
        for (QuarnDiags::Uint code : codes) {
            const std::string text = m_config.codeText(code);
            m_console.line("  " + m_config.codeName(code) + (text.empty() ? std::string() : ": " + text));
        }
    }

    m_console.line();
    std::string result = "Result: " + std::to_string(counts[Outcome::Passed]) + " passed, " +
                         std::to_string(counts[Outcome::Unusual]) + " unusual, " +
                         std::to_string(counts[Outcome::Failed]) + " failed, " +
                         std::to_string(counts[Outcome::Aborted]) + " aborted";
    if (untested > 0) {
        result += "; " + std::to_string(untested) + (untested == 1 ? " modem" : " modems") + " not tested";
    }
    if (interrupted) {
        result += "; interrupted, the remaining tests did not run";
    }
    m_console.line(result);
}

}  // namespace diaghost
