// HtmlReport.cpp - a run's page: its document's record rendered as one HTML file with inline CSS.
#include "HtmlReport.h"

#include <cstdio>
#include <map>

#include "ExitStatus.h"
#include "RunDocument.h"
#include "Text.h"

namespace diaghost {

namespace {

// A text from the document as page text: control characters shown as the
// terminal shows them, then the five characters HTML gives a meaning
// escaped, so that a modem's "<script>" stays text, in elements and in
// attribute values alike.
std::string escaped(const std::string& text)
{
    std::string out;
    for (const char c : printable(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string shown(const std::string& text)
{
    return text.empty() ? std::string("<span class=\"none\">unknown</span>") : escaped(text);
}

std::string code(const std::string& text)
{
    return "<code>" + escaped(text) + "</code>";
}

// "2026-12-08T10:12:32Z" as people read it; any other text as it is.
std::string timeText(const std::string& iso)
{
    if (iso.size() == 20 && iso[10] == 'T' && iso[19] == 'Z') {
        return "<time datetime=\"" + escaped(iso) + "\">" + escaped(iso.substr(0, 10) + " " + iso.substr(11, 8)) +
               " UTC</time>";
    }
    return shown(iso);
}

std::string secondsText(long long ms)
{
    if (ms < 0) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string percentText(long long progress)
{
    return progress < 0 ? std::string("-") : std::to_string(progress) + "%";
}

const char* exitMeaning(long long status)
{
    for (const ExitStatusInfo& row : kExitStatuses) {
        if (row.status == status) {
            return row.meaning;
        }
    }
    return status > EXIT_SIGNAL_BASE ? "stopped by a signal" : "a status this diaghost does not know";
}

// The exit status's colour: the outcome it stands for.
const char* exitClass(long long status)
{
    return status == EXIT_ALL_PASSED ? "passed"
           : status == EXIT_UNUSUAL || status == EXIT_NO_MODEM ? "unusual"
                                                               : "failed";
}

std::string slotText(const DocumentDevice& device)
{
    if (device.slotSource.empty()) {
        return "unknown";
    }
    const std::string slot = device.slot != 0 ? std::to_string(device.slot) : "0: built into the system board";
    for (const SlotSourceInfo& source : kSlotSources) {
        if (device.slotSource == source.name && source.where != nullptr) {
            return slot + " (" + source.where + ")";
        }
    }
    return device.slotSource == "kcore" ? slot + " (the firmware's table, read through /proc/kcore)"
                                        : slot + " (" + device.slotSource + ")";
}

std::string badge(Outcome outcome)
{
    return std::string("<span class=\"badge\">") + describe(outcome).label + "</span>";
}

std::string fact(const char* label, const std::string& valueHtml)
{
    return std::string("<dt>") + label + "</dt><dd>" + valueHtml + "</dd>\n";
}

std::string modemName(const DocumentDevice& device)
{
    return "Modem " + std::to_string(device.index);
}

std::string testAnchor(const DocumentDevice& device, std::size_t test, bool ran)
{
    return "m" + std::to_string(device.index) + (ran ? "-t" : "-s") + std::to_string(test);
}

// One row of the summary table; data-label names the cell where a narrow
// window shows the rows as blocks.
std::string resultRow(const DocumentDevice& device, const std::string& anchor, const std::string& test, Outcome outcome,
                      const std::string& codeHtml, const std::string& done, const std::string& time)
{
    const std::string tty = device.tty.compare(0, 5, "/dev/") == 0 ? device.tty.substr(5) : device.tty;
    const std::string name = test.empty() ? "-" : escaped(test);
    return std::string("<tr class=\"result ") + describe(outcome).name + "\" data-modem=\"" +
           std::to_string(device.index) + "\" data-test=\"" + escaped(test) + "\" data-outcome=\"" +
           describe(outcome).name + "\">" + "<td data-label=\"Modem\">" + std::to_string(device.index) + " " +
           escaped(orDash(tty)) + "</td><td data-label=\"Test\">" +
           (anchor.empty() ? name : "<a href=\"#" + anchor + "\">" + name + "</a>") +
           "</td><td data-label=\"Result\">" + badge(outcome) + "</td><td data-label=\"Code\">" + codeHtml +
           "</td><td data-label=\"Done\" class=\"num\">" + done + "</td><td data-label=\"Time\" class=\"num\">" +
           time + "</td></tr>\n";
}

// A test's name, with its round when the run had several.
std::string roundName(const RunDocument& run, const std::string& name, long long round)
{
    return run.rounds > 1 ? name + " (round " + std::to_string(round) + ")" : name;
}

std::string resultLine(const RunDocument& run)
{
    return diaghost::resultLine(run.outcomes, run.modemsNotTested, run.interrupted, run.roundsRun, run.rounds);
}

std::string headerSection(const RunDocument& run)
{
    std::string html = "<header>\n<h1>Modem diagnostics" +
                       (run.machine.hostname.empty() ? std::string() : " of " + escaped(run.machine.hostname)) +
                       "</h1>\n<p class=\"sub\">Run of " + timeText(run.started);
    if (!run.machine.simulated.empty()) {
        html += " on the simulated machine " + code(run.machine.simulated);
    }
    html += "</p>\n<div class=\"status " + std::string(exitClass(run.exitStatus)) + "\"><strong>Exit status " +
            std::to_string(run.exitStatus) + "</strong>: " + escaped(exitMeaning(run.exitStatus)) + "<br>" +
            escaped(resultLine(run)) + "</div>\n";
    if (run.interrupted) {
        html += "<p class=\"notice\">The run was interrupted (Ctrl-C): the test that was running was asked to stop, "
                "and no test started after it.</p>\n";
    }
    return html + "</header>\n";
}

std::string machineSection(const RunDocument& run)
{
    std::string html = "<section id=\"machine\">\n<h2>Machine</h2>\n<div class=\"columns\">\n<dl class=\"facts\">\n";
    if (run.machineKnown) {
        html += fact("Host name", shown(run.machine.hostname)) + fact("Kernel", shown(run.machine.kernel)) +
                fact("Kernel build", shown(run.machine.kernelVersion)) +
                fact("Architecture", shown(run.machine.architecture));
        if (!run.machine.simulated.empty()) {
            html += fact("Simulated machine", code(run.machine.simulated));
        }
    } else {
        html += fact("Machine", "<span class=\"none\">not in the document</span>");
    }
    html += "</dl>\n<dl class=\"facts\">\n" + fact("Started", timeText(run.started));
    if (!run.finished.empty()) {
        html += fact("Finished", timeText(run.finished));
    }
    html += fact("diaghost", shown(run.toolVersion)) +
            fact("Package", escaped(run.packageName) + " " + shown(run.packageVersion) +
                                (run.packageDescription.empty() ? "" : " (" + escaped(run.packageDescription) + ")"));
    return html + "</dl>\n</div>\n</section>\n";
}

std::string summarySection(const RunDocument& run)
{
    std::string html = "<section id=\"summary\">\n<h2>Summary</h2>\n<div class=\"tiles\">\n";
    for (const OutcomeInfo& info : kOutcomes) {
        html += std::string("<div class=\"tile ") + info.name + "\"><b>" + std::to_string(run.outcomes[&info - kOutcomes]) +
                "</b>" + info.label + "</div>\n";
    }
    html += "</div>\n<p>Modems found: " + std::to_string(run.modemsFound) + "; tested: " +
            std::to_string(run.modemsTested) + "; not tested: " + std::to_string(run.modemsNotTested) + ".</p>\n";
    if (!run.noModem.empty()) {
        html += "<p class=\"notice\">" + escaped(run.noModem) + "</p>\n";
    }
    if (run.devices.empty()) {
        return html + "</section>\n";
    }
    html += "<table class=\"results\">\n<thead><tr><th>Modem</th><th>Test</th><th>Result</th><th>Code</th>"
            "<th class=\"num\">Done</th><th class=\"num\">Time</th></tr></thead>\n<tbody>\n";
    for (const DocumentDevice& device : run.devices) {
        for (std::size_t i = 0; i < device.tests.size(); ++i) {
            const DocumentTest& test = device.tests[i];
            html += resultRow(device, testAnchor(device, i, true), roundName(run, test.name, test.round), test.outcome,
                              code(test.code),
                              percentText(test.progress), secondsText(test.durationMs));
        }
        for (std::size_t i = 0; i < device.skipped.size(); ++i) {
            html += resultRow(device, testAnchor(device, i, false),
                              roundName(run, device.skipped[i].name, device.skipped[i].round), Outcome::NotRun,
                              escaped(device.skipped[i].reason), "-", "-");
        }
        if (device.tests.empty() && device.skipped.empty()) {
            html += resultRow(device, "", "", Outcome::NotRun, escaped(orDash(device.notTested)), "-", "-");
        }
    }
    return html + "</tbody>\n</table>\n</section>\n";
}

std::string eventItem(const DocumentEvent& event)
{
    // The terminal's words for the types.
    const char* type = event.type == "INFORMATION_EVENT" ? "info"
                       : event.type == "WARNING_EVENT"   ? "warning"
                       : event.type == "ERROR_EVENT"     ? "error"
                                                         : "event";
    return std::string("<li><span class=\"etype ") + type + "\">" + type + "</span><span>" + code(event.code) +
           (event.text.empty() ? std::string() : ": " + escaped(event.text)) + "</span></li>\n";
}

std::string testBlock(const RunDocument& run, const DocumentDevice& device, std::size_t index)
{
    const DocumentTest& test = device.tests[index];
    std::string html = "<article class=\"test " + std::string(describe(test.outcome).name) + "\" id=\"" +
                       testAnchor(device, index, true) + "\">\n<h4><span>" +
                       escaped(roundName(run, test.name, test.round)) + "</span> " + badge(test.outcome) + " <span class=\"meta\">" + secondsText(test.durationMs) + ", " +
                       percentText(test.progress) + " done</span></h4>\n<p>" + code(test.code) +
                       (test.text.empty() ? std::string() : ": " + escaped(test.text)) + "</p>\n";
    if (test.outcome == Outcome::Aborted) {
        html += "<p class=\"meta\">The plug-in's verdict " + code(test.pluginVerdict) +
                " with this code is a test stopped before its end: it says nothing about the modem.</p>\n";
    }
    if (!test.events.empty()) {
        html += "<h5>Events</h5>\n<ul class=\"events\">\n";
        for (const DocumentEvent& event : test.events) {
            html += eventItem(event);
        }
        html += "</ul>\n";
    }
    html += "<h5>The plug-in's dialogue</h5>\n";
    if (!test.logKnown) {
        html += "<p class=\"none\">not in the document</p>\n";
    } else if (test.log.empty()) {
        html += "<p class=\"none\">no lines</p>\n";
    } else {
        html += "<ol class=\"log\">";
        for (const std::string& line : test.log) {
            html += "<li>" + escaped(line) + "</li>";
        }
        html += "</ol>\n";
    }
    return html + "</article>\n";
}

std::string modemSection(const RunDocument& run, const DocumentDevice& device)
{
    const bool normal = device.status == "NORMAL";
    std::string html = "<section class=\"modem\" id=\"m" + std::to_string(device.index) + "\">\n<h2>" +
                       modemName(device) + ": " + (device.tty.empty() ? std::string("no tty") : escaped(device.tty)) +
                       "</h2>\n<div class=\"columns\">\n" +
                       "<dl class=\"facts\">\n" + fact("Location", shown(device.location)) +
                       fact("PCI address", shown(device.pciAddress)) +
                       fact("PCI ID (vendor:device)", shown(device.pciId)) + fact("TTY", shown(device.tty)) +
                       fact("Slot", escaped(slotText(device))) +
                       fact("Status", normal
                                          ? escaped(device.status)
                                          : "<span class=\"badge unusual\">" + escaped(device.status) + "</span>") +
                       "</dl>\n<dl class=\"facts\">\n";
    if (device.fru.empty()) {
        html += fact("FRU record", "<span class=\"none\">not in the document</span>");
    }
    for (const auto& field : device.fru) {
        html += fact(field.first, shown(field.second));
    }
    html += "</dl>\n</div>\n";
    if (device.tests.empty()) {
        html += "<p class=\"notice\">Not tested: " + escaped(orDash(device.notTested)) + "</p>\n";
    }
    for (std::size_t i = 0; i < device.tests.size(); ++i) {
        html += testBlock(run, device, i);
    }
    // A test that did not run has only its reason, said once above when no test ran.
    for (std::size_t i = 0; i < device.skipped.size(); ++i) {
        const std::string& reason = device.skipped[i].reason;
        html += "<article class=\"test not-run\" id=\"" + testAnchor(device, i, false) + "\">\n<h4><span>" +
                escaped(device.skipped[i].name) + "</span> " + badge(Outcome::NotRun) +
                (device.tests.empty() && reason == device.notTested
                     ? std::string()
                     : " <span class=\"meta\">" + escaped(reason) + "</span>") +
                "</h4>\n</article>\n";
    }
    return html + "</section>\n";
}

// The outcomes that occurred and every code that needs attention, with the
// manifest's meaning, as the terminal's "What the results mean".
std::string meaningsSection(const RunDocument& run)
{
    std::string html = "<section id=\"meanings\">\n<h2>What the results mean</h2>\n<dl class=\"facts\">\n";
    for (const OutcomeInfo& info : kOutcomes) {
        if (run.outcomes[&info - kOutcomes] > 0) {
            html += std::string("<dt><span class=\"badge ") + info.name + "\">" + info.label + "</span></dt><dd>" +
                    escaped(info.meaning) + "</dd>\n";
        }
    }
    std::map<std::string, std::string> codes;
    for (const DocumentDevice& device : run.devices) {
        for (const DocumentTest& test : device.tests) {
            if (test.outcome != Outcome::Passed || test.code != "TEST_COMPLETED_SUCCESSFULLY") {
                codes.emplace(test.code, test.text);
            }
        }
    }
    for (const auto& entry : codes) {
        html += "<dt>" + code(entry.first) + "</dt><dd>" + shown(entry.second) + "</dd>\n";
    }
    return html + "</dl>\n</section>\n";
}

// Inline, so that the page is one file; nothing in it is fetched. Colours
// carry the outcomes, and every outcome is also written out, so a page
// printed in black and white still says it; printers are asked to keep
// the colours.
const char* const kStyle = R"css(
:root{color-scheme:light;--ink:#1f2328;--muted:#57606a;--line:#d0d7de;--panel:#f6f8fa;--fg:var(--ink);--bg:var(--panel)}
*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%;text-size-adjust:100%}
body{margin:0 auto;max-width:68rem;padding:1.5rem 1.25rem 2rem;font:15px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans","DejaVu Sans",sans-serif;color:var(--ink);background:#fff;overflow-wrap:break-word}
code,.log{font-family:ui-monospace,"DejaVu Sans Mono","Liberation Mono",Menlo,Consolas,monospace;font-size:.88em}
h1{font-size:1.55rem;margin:0;line-height:1.2}
h2{font-size:1.2rem;margin:2rem 0 .75rem;padding-bottom:.3rem;border-bottom:1px solid var(--line)}
h4{font-size:1rem;margin:0 0 .2rem;display:flex;flex-wrap:wrap;align-items:center;gap:.3rem .7rem}
h5{font-size:.75rem;text-transform:uppercase;letter-spacing:.05em;color:var(--muted);margin:.7rem 0 .25rem}
p{margin:.35rem 0}
a{color:inherit}
.sub{color:var(--muted);margin-top:.35rem}
.passed{--fg:#116329;--bg:#dafbe1}
.unusual{--fg:#7a4d00;--bg:#fff3b0}
.failed{--fg:#a40e26;--bg:#ffe1e0}
.aborted{--fg:#0b5f6e;--bg:#d3f5fa}
.not-run{--fg:#57606a;--bg:#eaeef2}
.badge{display:inline-block;padding:0 .55rem;border:1px solid var(--fg);border-radius:1rem;color:var(--fg);background:var(--bg);font-weight:700;font-size:.78rem;letter-spacing:.04em;white-space:nowrap}
.status{margin:1rem 0 0;padding:.7rem 1rem;border-left:.4rem solid var(--fg);background:var(--bg);border-radius:.3rem}
.status strong{color:var(--fg);font-size:1.1rem}
.notice{padding:.55rem .9rem;border-left:.4rem solid #9a6700;border-radius:.3rem;background:#fff8c5}
.columns{display:grid;grid-template-columns:repeat(auto-fit,minmax(17rem,1fr));gap:.25rem 2rem}
dl.facts{display:grid;grid-template-columns:max-content minmax(0,1fr);gap:.15rem 1.25rem;margin:.25rem 0;align-content:start}
dl.facts dt{color:var(--muted)}
dl.facts dd{margin:0}
.tiles{display:grid;grid-template-columns:repeat(auto-fit,minmax(7rem,1fr));gap:.6rem;margin:0 0 .75rem}
.tile{padding:.4rem .75rem;border:1px solid var(--line);border-top:.3rem solid var(--fg);border-radius:.3rem;background:var(--bg);color:var(--fg);font-weight:700;font-size:.8rem;letter-spacing:.04em}
.tile b{display:block;font-size:1.5rem;line-height:1.2}
table{border-collapse:collapse;width:100%}
th,td{text-align:left;vertical-align:top;padding:.3rem .6rem;border-bottom:1px solid var(--line)}
th{font-size:.75rem;text-transform:uppercase;letter-spacing:.05em;color:var(--muted);border-bottom-width:2px}
tr.result td:first-child{border-left:.3rem solid var(--fg)}
.num{white-space:nowrap;text-align:right}
.test{margin:.75rem 0;padding:.6rem .9rem;border:1px solid var(--line);border-left:.4rem solid var(--fg);border-radius:.3rem}
.meta{color:var(--muted);font-size:.88rem;font-weight:400}
ul.events{list-style:none;margin:0;padding:0}
ul.events li{display:grid;grid-template-columns:4.5rem minmax(0,1fr);align-items:baseline}
.etype{font-weight:700;font-size:.8rem}
.etype.warning{color:#7a4d00}
.etype.error{color:#a40e26}
ol.log{margin:0;padding:.4rem .75rem .4rem 2.75rem;background:var(--panel);border:1px solid var(--line);border-radius:.3rem;white-space:pre-wrap;overflow-wrap:anywhere;font-size:.78rem;line-height:1.45}
ol.log li::marker{color:var(--muted)}
.none{color:var(--muted);font-style:italic}
footer{margin-top:2.5rem;padding-top:.6rem;border-top:1px solid var(--line);color:var(--muted);font-size:.85rem}
@media (max-width:40rem){
body{padding:1rem .75rem;font-size:14px}
dl.facts{grid-template-columns:minmax(5.5rem,35%) minmax(0,1fr);gap:.2rem .75rem}
.test{padding:.5rem .6rem}
ul.events li{grid-template-columns:minmax(0,1fr)}
ol.log{padding-left:2.25rem}
table.results thead{display:none}
table.results,table.results tbody{display:block}
table.results tr{display:grid;grid-template-columns:repeat(3,minmax(0,1fr));gap:.25rem .75rem;margin:.5rem 0;border:1px solid var(--line);border-left:.4rem solid var(--fg);border-radius:.3rem;padding:.35rem .6rem}
table.results td,tr.result td:first-child{display:block;border:0;padding:0;text-align:left;white-space:normal}
table.results td[data-label=Code]{grid-column:1/-1}
table.results td::before{content:attr(data-label);display:block;color:var(--muted);font-size:.7rem;text-transform:uppercase;letter-spacing:.05em}
}
@page{size:A4;margin:14mm 12mm}
@media print{
*{-webkit-print-color-adjust:exact;print-color-adjust:exact}
body{max-width:none;padding:0;font-size:9.5pt}
h2,h4,h5{break-after:avoid}
tr,.tile,.status,.columns,.test h4,.test p,ul.events li{break-inside:avoid}
a{text-decoration:none}
}
)css";

std::string renderPage(const RunDocument& run)
{
    std::string title = "Modem diagnostics";
    if (!run.machine.hostname.empty()) {
        title += " of " + run.machine.hostname;
    }
    title += ": exit status " + std::to_string(run.exitStatus);
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        // Nothing to fetch and nothing to run, even if a text slipped through unescaped.
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
        "img-src data:\">\n"
        "<link rel=\"icon\" href=\"data:,\">\n<title>" +
        escaped(title) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n" + headerSection(run) +
        "<main>\n" + machineSection(run) + summarySection(run);
    for (const DocumentDevice& device : run.devices) {
        html += modemSection(run, device);
    }
    if (!run.devices.empty()) {
        html += meaningsSection(run);
    }
    html += "</main>\n<footer>Made by diaghost " DIAGHOST_VERSION " from the run's JSON document (schema version " +
            std::to_string(run.schemaVersion) + ").</footer>\n</body>\n</html>\n";
    return html;
}

}  // namespace

bool htmlReport(const std::string& document, std::string& page, std::string& error)
{
    RunDocument run;
    if (!readRunDocument(document, run, error)) {
        return false;
    }
    page = renderPage(run);
    return true;
}

}  // namespace diaghost
