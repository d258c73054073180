// RunView.cpp - progress bars, event lines and the summary table of a run.
#include "RunView.h"

#include <cstdio>
#include <map>
#include <set>

namespace diaghost {

using QuarnDiags::Diag::EventType;
using QuarnDiags::Diag::TestResult;

namespace {

constexpr std::size_t kBarWidth = 30;

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

Colour verdictColour(TestResult verdict)
{
    switch (verdict) {
    case QuarnDiags::Diag::PASSED: return Colour::Green;
    case QuarnDiags::Diag::UNUSUAL_STATUS: return Colour::Yellow;
    default: return Colour::Red;
    }
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

}  // namespace

const char* verdictMeaning(TestResult verdict)
{
    switch (verdict) {
    case QuarnDiags::Diag::PASSED:
        return "the modem answered as a working modem does";
    case QuarnDiags::Diag::UNUSUAL_STATUS:
        return "the test could not judge the modem (busy or missing port, no dial tone, no answer): "
               "check the setup and run it again";
    case QuarnDiags::Diag::FAILED:
        return "the modem answered wrongly: it is faulty or misconfigured";
    }
    return "";
}

std::string RunView::verdictText(TestResult verdict) const
{
    return m_console.paint(QuarnDiags::Diag::testResultName(verdict), verdictColour(verdict));
}

std::string RunView::testLabel(int testIndex) const
{
    std::string label = pad(m_config.testName(testIndex), 9);
    if (testIndex >= 0 && static_cast<std::size_t>(testIndex) < m_config.tests.size()) {
        label += " " + pad(m_config.tests[static_cast<std::size_t>(testIndex)].title, 28);
    }
    return label;
}

void RunView::device(const DeviceRecord& device)
{
    m_console.line();
    std::string text = "Modem " + std::to_string(device.index) + ": " + orDash(device.tty) + ", " +
                       device.location;
    if (device.slot != 0) {
        text += ", slot " + std::to_string(device.slot);
    }
    if (!device.fru.firmwareRevision.empty()) {
        text += ", firmware " + device.fru.firmwareRevision;
    }
    text += ", " + device.status;
    m_console.line(m_console.paint(text, Colour::Bold));
}

void RunView::skipped(const DeviceRecord& device)
{
    std::string reason = device.skipped.empty() ? std::string("no test selected") : device.skipped.front().reason;
    m_console.line("  not tested: " + reason);
}

void RunView::testStarted(const DeviceRecord& /*device*/, int testIndex)
{
    m_testIndex = testIndex;
    if (m_console.isTerminal()) {
        progress(0, 0.0);
    } else {
        m_console.line("  " + m_config.testName(testIndex) + ": started");
    }
}

void RunView::progress(QuarnDiags::Uint value, double elapsed)
{
    if (!m_console.isTerminal()) {
        return;
    }
    const std::size_t filled = kBarWidth * (value > 100 ? 100 : value) / 100;
    const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '.');
    m_console.live("  " + testLabel(m_testIndex) + " [" + bar + "] " + pad(percent(value), 4) + "  " +
                   seconds(elapsed));
}

void RunView::event(const EventRecord& event)
{
    std::string text = "      " + m_console.paint(pad(typeLabel(event.type), 7), typeColour(event.type)) + " " +
                       m_config.codeName(event.code);
    const std::string meaning = m_config.codeText(event.code);
    if (!meaning.empty()) {
        text += ": " + meaning;
    }
    m_console.line(text);
}

void RunView::testFinished(const TestRecord& test)
{
    m_console.endLive();
    std::string text = "  " + testLabel(test.index) + " " + verdictText(test.verdict) + " " +
                       m_config.codeName(test.code) + ", " + percent(test.progress) + ", " + seconds(test.seconds);
    m_console.line(text);
}

void RunView::notice(const std::string& text)
{
    m_console.line(m_console.paint(text, Colour::Bold));
}

void RunView::summary(const std::vector<DeviceRecord>& devices, bool interrupted)
{
    std::map<TestResult, int> counts;
    std::set<QuarnDiags::Uint> codes;
    std::set<TestResult> verdicts;
    int untested = 0;

    m_console.line();
    m_console.line(m_console.paint("Summary", Colour::Bold));
    m_console.line("  " + pad("MODEM", 6) + pad("TTY", 13) + pad("TEST", 10) + pad("VERDICT", 16) + pad("CODE", 34) +
                   pad("DONE", 6) + "TIME");
    for (const DeviceRecord& device : devices) {
        const std::string head = "  " + pad(std::to_string(device.index), 6) + pad(orDash(device.tty), 13);
        for (const TestRecord& test : device.tests) {
            ++counts[test.verdict];
            verdicts.insert(test.verdict);
            if (test.verdict != QuarnDiags::Diag::PASSED || test.code != QuarnDiags::Diag::TEST_COMPLETED_SUCCESSFULLY) {
                codes.insert(test.code);
            }
            const std::string verdict = QuarnDiags::Diag::testResultName(test.verdict);
            m_console.line(head + pad(test.name, 10) +
                           m_console.paint(pad(verdict, 16), verdictColour(test.verdict)) +
                           pad(m_config.codeName(test.code), 34) + pad(percent(test.progress), 6) +
                           seconds(test.seconds));
        }
        if (device.tests.empty()) {
            ++untested;
            const std::string reason = device.skipped.empty() ? std::string("not started") : device.skipped.front().reason;
            m_console.line(head + pad("-", 10) + m_console.paint(pad("NOT TESTED", 16), Colour::Dim) + reason);
        }
    }

    if (!codes.empty() || !verdicts.empty()) {
        m_console.line();
        m_console.line(m_console.paint("What the results mean", Colour::Bold));
        for (TestResult verdict : verdicts) {
            m_console.line("  " + verdictText(verdict) + ": " + verdictMeaning(verdict));
        }
        for (QuarnDiags::Uint code : codes) {
            const std::string text = m_config.codeText(code);
            m_console.line("  " + m_config.codeName(code) + (text.empty() ? std::string() : ": " + text));
        }
    }

    m_console.line();
    std::string result = "Result: " + std::to_string(counts[QuarnDiags::Diag::PASSED]) + " passed, " +
                         std::to_string(counts[QuarnDiags::Diag::UNUSUAL_STATUS]) + " unusual, " +
                         std::to_string(counts[QuarnDiags::Diag::FAILED]) + " failed";
    if (untested > 0) {
        result += "; " + std::to_string(untested) + (untested == 1 ? " modem" : " modems") + " not tested";
    }
    if (interrupted) {
        result += "; interrupted, the remaining tests did not run";
    }
    m_console.line(result);
}

}  // namespace diaghost
