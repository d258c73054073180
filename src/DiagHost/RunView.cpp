// RunView.cpp - progress bars, event lines and the summary table of a run.
#include "RunView.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>
#include <utility>

#include "Table.h"
#include "Text.h"

namespace diaghost {

namespace {

// The bar is as wide for every test of a run: its width depends on the
// terminal's alone, and the test's title gets what is left (or goes).
constexpr std::size_t kWidestBar = 20;
constexpr std::size_t kNarrowestBar = 8;
constexpr std::size_t kBesideBar = 42;      // the name, percent and times ("11.5 s of up to 23 s") at most
constexpr std::size_t kShortestTitle = 10;  // a title cut shorter than this is left out
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

Colour colourOf(Outcome outcome)
{
    static const Colour kColours[] = {Colour::Green, Colour::Yellow, Colour::Red, Colour::Cyan, Colour::Dim};
    return kColours[static_cast<int>(outcome)];
}

std::string durationText(double value)
{
    if (value < 1.0) {
        return std::to_string(static_cast<long>(value * 1000.0 + 0.5)) + " ms";
    }
    return seconds(value);
}

void RunView::round(int number, int of)
{
    if (!m_quiet) {
        m_console.line();
        m_console.line(m_console.paint("Round " + std::to_string(number) + " of " + std::to_string(of), Colour::Bold));
    }
}

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
    m_console.line(m_console.paint(printable(text), Colour::Bold));
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

    const std::string head = "  " + pad(name, 9) + " ";
    const std::string tail =
        " " + pad(percent(value), 4) + " " + seconds(elapsed) + (limit.empty() ? "" : " of " + limit);
    const std::size_t room = m_console.liveWidth();  // never 0 on a terminal
    const std::size_t bar =
        room > kBesideBar + kNarrowestBar ? std::min(kWidestBar, room - kBesideBar) : kNarrowestBar;
    const std::size_t used = displayWidth(head) + bar + 2 + displayWidth(tail);
    std::string title = m_config.testTitle(m_testIndex);
    title = room > used + kShortestTitle ? fitWidth(title, room - used - 1) + " " : std::string();
    const std::size_t filled = bar * value / 100;
    m_console.live(head + title + "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "]" + tail);
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
    const Outcome outcome = outcomeOf(test);
    // The code last: on a narrow terminal it is what moves to a line of its own.
    m_console.line("  " + pad(m_config.testName(test.index), 9) + " " +
                   m_console.paint(describe(outcome).label, colourOf(outcome)) + "  " + durationText(test.seconds) +
                   "  " + percent(progressOf(test)) + "  " + m_config.codeName(test.code));
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

void RunView::summary(const std::vector<DeviceRecord>& devices, bool interrupted, int roundsRun, int roundsAsked)
{
    const Tally tally(devices);
    const bool rounds = roundsAsked > 1;
    // The codes each outcome came with, for the legend.
    std::set<QuarnDiags::Uint> codes[std::size(kOutcomes)];

    // Codes and reasons may wrap at blanks, never within a word; on a
    // narrow terminal they move to a second line of each row.
    std::vector<Column> columns = {{"MODEM"}, {"TEST"}, {"RESULT"}, {"CODE", 3, true}, {"DONE", 2}, {"TIME", 1}};
    if (rounds) {
        columns.insert(columns.begin() + 1, Column{"ROUND"});
    }
    Table table(columns, 2);
    for (const DeviceRecord& device : devices) {
        // "0 ttySM0": the index and the tty's name, short enough for narrow windows.
        std::string tty = device.tty.compare(0, 5, "/dev/") == 0 ? device.tty.substr(5) : device.tty;
        const std::string modem = std::to_string(device.index) + " " + orDash(tty);
        // Round by round; in a round the tests that ran, then those that did not.
        std::vector<std::pair<int, std::vector<Cell>>> rows;
        const auto add = [&](int round, std::vector<Cell> cells) {
            if (rounds) {
                cells.insert(cells.begin() + 1, Cell{std::to_string(round)});
            }
            rows.emplace_back(round, std::move(cells));
        };
        for (const TestRecord& test : device.tests) {
            const Outcome outcome = outcomeOf(test);
            if (outcome != Outcome::Passed || test.code != QuarnDiags::Diag::TEST_COMPLETED_SUCCESSFULLY) {
                codes[static_cast<int>(outcome)].insert(test.code);
            }
            add(test.round, {{modem},
                             {test.name},
                             {describe(outcome).label, colourOf(outcome)},
                             {m_config.codeName(test.code)},
                             {percent(progressOf(test))},
                             {durationText(test.seconds)}});
        }
        for (const SkippedTest& test : device.skipped) {
            add(test.round, {{modem},
                             {test.name},
                             {describe(Outcome::NotRun).label, colourOf(Outcome::NotRun)},
                             {test.reason},
                             {"-"},
                             {"-"}});
        }
        if (device.tests.empty() && device.skipped.empty()) {
            add(1, {{modem}, {"-"}, {"NOT TESTED", Colour::Dim}, {device.notTestedReason()}, {"-"}, {"-"}});
        }
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& row : rows) {
            table.row(std::move(row.second));
        }
    }

    m_console.line();
    m_console.line(m_console.paint("Summary", Colour::Bold));
    table.print(m_console);

    // Each outcome the run had, with the codes it came with.
    const int outcomes = static_cast<int>(std::size(kOutcomes));
    if (std::any_of(std::begin(tally.outcomes), std::end(tally.outcomes), [](std::size_t n) { return n > 0; })) {
        m_console.line();
        m_console.line(m_console.paint("What the results mean", Colour::Bold));
        for (int i = 0; i < outcomes; ++i) {
            const OutcomeInfo& info = kOutcomes[i];
            if (tally.outcomes[i] == 0) {
                continue;
            }
            m_console.line("  " + m_console.paint(info.label, colourOf(static_cast<Outcome>(i))) + ": " +
                           info.meaning);
            for (QuarnDiags::Uint code : codes[i]) {
                const std::string text = m_config.codeText(code);
                m_console.line("    " + m_config.codeName(code) + (text.empty() ? std::string() : ": " + text));
            }
        }
    }

    m_console.line();
    long long counts[std::size(kOutcomes)] = {};
    std::copy(std::begin(tally.outcomes), std::end(tally.outcomes), counts);
    m_console.line(resultLine(counts, static_cast<long long>(tally.untested), interrupted, roundsRun, roundsAsked));
}

}  // namespace diaghost
