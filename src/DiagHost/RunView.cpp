// RunView.cpp - progress bars, event lines and the summary table of a run.
#include "RunView.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

#include "Table.h"
#include "Text.h"

namespace diaghost {

namespace {

constexpr std::size_t kWidestBar = 30;
constexpr std::size_t kNarrowestBar = 8;
constexpr std::size_t kBarBesideTitle = 15;  // the test's title stays on the live line only beside a bar this wide
constexpr double kPlainReportSeconds = 5.0;  // off a terminal, a running test says so this often

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

}  // namespace

void RunView::device(const DeviceRecord& device)
{
    if (m_quiet) {
        return;
    }
    m_console.line();
    std::string text = "Modem " + std::to_string(device.index) + ": " + orDash(device.tty) + ", " +
                       device.shownAddress();
    if (device.slotSource != SlotSource::Unknown) {
        text += ", slot " + slotText(device);
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
        m_console.line("  not tested: " + printable(device.notTestedReason()));
    }
}

void RunView::testStarted(int testIndex)
{
    m_testIndex = testIndex;
    m_lastReport = 0.0;
    if (m_quiet) {
        return;
    }
    if (m_console.isTerminal()) {
        progress(0, 0.0);
        return;
    }
    std::string about = m_config.testTitle(testIndex);
    const std::string limit = m_config.limitText(testIndex);
    if (!limit.empty()) {
        about += (about.empty() ? "" : ", ") + limit;
    }
    m_console.line("  " + m_config.testName(testIndex) + ": started" + (about.empty() ? "" : " (" + about + ")"));
}

void RunView::progress(QuarnDiags::Uint value, double elapsed)
{
    if (m_quiet) {
        return;
    }
    value = std::min<QuarnDiags::Uint>(value, 100);
    const std::string name = m_config.testName(m_testIndex);
    const std::string limit = m_config.limitText(m_testIndex);
    if (!m_console.isTerminal()) {
        if (elapsed - m_lastReport >= kPlainReportSeconds) {
            m_lastReport = elapsed;
            m_console.line("  " + name + ": running, " + seconds(elapsed) + (limit.empty() ? "" : " of " + limit) +
                           ", " + percent(value));
        }
        return;
    }

    std::string title = m_config.testTitle(m_testIndex);
    const std::string head = "  " + pad(name, 9) + " ";
    const std::string tail =
        " " + pad(percent(value), 4) + " " + seconds(elapsed) + (limit.empty() ? "" : " of " + limit);
    const std::size_t room = m_console.liveWidth();  // never 0 on a terminal
    const std::size_t fixed = displayWidth(head) + 2 + displayWidth(tail);
    const std::size_t withTitle = fixed + displayWidth(title) + 1;
    std::size_t bar = 0;
    if (room >= withTitle + kBarBesideTitle) {
        bar = std::min(kWidestBar, room - withTitle);
    } else {
        title.clear();
        bar = room > fixed + kNarrowestBar ? std::min(kWidestBar, room - fixed) : kNarrowestBar;
    }
    const std::size_t filled = bar * value / 100;
    m_console.live(head + (title.empty() ? "" : title + " ") + "[" + std::string(filled, '#') +
                   std::string(bar - filled, '.') + "]" + tail);
}

void RunView::event(const EventRecord& event)
{
    if (m_quiet) {
        return;
    }
    // The type's word and colour, by its value; "event" for a type the framework does not name.
    using Shown = std::pair<const char*, Colour>;
    static const Shown kTypes[] = {{"info", Colour::Plain}, {"warning", Colour::Yellow}, {"error", Colour::Red}};
    const auto index = static_cast<unsigned>(event.type);
    const Shown type = index < 3 ? kTypes[index] : Shown{"event", Colour::Plain};
    std::string text =
        "      " + m_console.paint(pad(type.first, 7), type.second) + " " + m_config.codeName(event.code);
    const std::string meaning = m_config.codeText(event.code);
    if (!meaning.empty()) {
        text += ": " + meaning;
    }
    m_console.line(text);
}

void RunView::logLines(const std::vector<PluginLogLine>& lines)
{
    for (const PluginLogLine& line : lines) {
        if (!m_quiet && (m_verbose || line.error)) {
            m_console.line("      | " + printable(line.text));
        }
    }
}

void RunView::testFinished(const TestRecord& test)
{
    if (m_quiet) {
        return;
    }
    m_console.endLive();
    const OutcomeInfo& outcome = describe(outcomeOf(test));
    // The code last: on a narrow terminal it is what moves to a line of its own.
    m_console.line("  " + pad(m_config.testName(test.index), 9) + " " +
                   m_console.paint(outcome.label, outcome.colour) + "  " + seconds(test.seconds) +
                   "  " + percent(test.progress) + "  " + m_config.codeName(test.code));
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
    const Tally tally(devices);
    std::set<QuarnDiags::Uint> codes;

    Table table({{"MODEM"}, {"TEST"}, {"RESULT"}, {"CODE"}, {"DONE", 2}, {"TIME", 1}}, 2);
    for (const DeviceRecord& device : devices) {
        // "0 ttySM0": the index and the tty's name, short enough for narrow windows.
        std::string tty = device.tty.compare(0, 5, "/dev/") == 0 ? device.tty.substr(5) : device.tty;
        const std::string modem = std::to_string(device.index) + " " + orDash(tty);
        for (const TestRecord& test : device.tests) {
            const Outcome outcome = outcomeOf(test);
            if (outcome != Outcome::Passed || test.code != QuarnDiags::Diag::TEST_COMPLETED_SUCCESSFULLY) {
                codes.insert(test.code);
            }
            table.row({{modem},
                       {test.name},
                       {describe(outcome).label, describe(outcome).colour},
                       {m_config.codeName(test.code)},
                       {percent(test.progress)},
                       {seconds(test.seconds)}});
        }
        if (device.tests.empty()) {
            table.row({{modem}, {"-"}, {"NOT TESTED", Colour::Dim}, {device.notTestedReason()}, {"-"}, {"-"}});
        }
    }

    m_console.line();
    m_console.line(m_console.paint("Summary", Colour::Bold));
    table.print(m_console);

    // The outcomes of the tests that ran, in the table's order.
    const int ran = static_cast<int>(Outcome::NotRun);
    if (tally.untested < devices.size()) {
        m_console.line();
        m_console.line(m_console.paint("What the results mean", Colour::Bold));
        for (int i = 0; i < ran; ++i) {
            const OutcomeInfo& info = kOutcomes[i];
            if (tally.outcomes[i] > 0) {
                m_console.line("  " + m_console.paint(info.label, info.colour) + ": " + info.meaning);
            }
        }
        for (QuarnDiags::Uint code : codes) {
            const std::string text = m_config.codeText(code);
            m_console.line("  " + m_config.codeName(code) + (text.empty() ? std::string() : ": " + text));
        }
    }

    m_console.line();
    std::string result = "Result:";
    for (int i = 0; i < ran; ++i) {
        result += (i == 0 ? " " : ", ") + std::to_string(tally.outcomes[i]) + " " + kOutcomes[i].name;
    }
    if (tally.untested > 0) {
        result += "; " + std::to_string(tally.untested) + (tally.untested == 1 ? " modem" : " modems") + " not tested";
    }
    if (interrupted) {
        result += "; interrupted, the remaining tests did not run";
    }
    m_console.line(result);
}

}  // namespace diaghost
