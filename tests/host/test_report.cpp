// diaghost's run page: rendered from the run's JSON document, every text escaped, every test with its outcome,
// and a document that is not a run's refused with a one-line reason.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <regex>

#include "HtmlReport.h"
#include "PackageConfig.h"
#include "Reports.h"

using diaghost::DeviceRecord;
using diaghost::TestRecord;
using nlohmann::json;
namespace Diag = QuarnDiags::Diag;

namespace {

diaghost::PackageConfig manifest()
{
    diaghost::PackageConfig config;
    std::string error;
    EXPECT_TRUE(diaghost::parsePackageConfig("[package]\nlibrary = lib.so\n[tests]\ndialtone = D\nloopback = L\nat = A\n"
                                             "[messages]\n0 = TEST_COMPLETED_SUCCESSFULLY: Ran to its end\n"
                                             "1 = TEST_ABORTED: Stopped on request\n"
                                             "105 = INCORRECT_AT_RESPONSE_ERROR: No OK & no <reply>\n"
                                             "109 = NO_DIALTONE_WARNING: No dial tone\n",
                                             config, error))
        << error;
    return config;
}

TestRecord test(int index, const std::string& name, Diag::TestResult verdict, QuarnDiags::Uint code)
{
    TestRecord record;
    record.index = index;
    record.name = name;
    record.verdict = verdict;
    record.code = code;
    record.progress = 100;
    record.seconds = 1.25;
    return record;
}

DeviceRecord modem(int index, const std::string& tty)
{
    DeviceRecord device;
    device.index = index;
    device.tty = tty;
    device.location = "PCI Bus 0, Device 9, Function 0";
    device.status = "NORMAL";
    device.fru.firmwareRevision = "3.5.22";
    return device;
}

// The document run writes for these modems, as run --json-file would.
std::string document(const std::vector<DeviceRecord>& devices, int exitStatus,
                     const diaghost::MachineInfo& machine = {"lab-7", "Linux 6.1.0-28-686", "#1 SMP", "i686", ""})
{
    diaghost::ReportContext context;
    context.started = "2026-12-06T03:00:00Z";
    context.finished = "2026-12-06T03:00:17Z";
    context.machine = machine;
    context.modemsFound = devices.size();
    context.exitStatus = exitStatus;
    return diaghost::jsonReport({"Modem Test", "1.0", "Modem Controller Test"}, devices, manifest(), context);
}

std::string pageOf(const std::string& text)
{
    std::string page;
    std::string error;
    EXPECT_TRUE(diaghost::htmlReport(text, page, error)) << error;
    return page;
}

// The summary table's row of a test: its outcome is its class.
std::string rowOf(const std::string& page, int modem, const std::string& name)
{
    std::smatch found;
    const std::regex row("<tr class=\"result [^\"]*\" data-modem=\"" + std::to_string(modem) + "\" data-test=\"" + name +
                         "\"[^\n]*</tr>");
    return std::regex_search(page, found, row) ? found.str() : std::string();
}

}  // namespace

// Every text of the document comes from the plug-in, the modem, the log or
// the machine: each is page text, never markup, in elements and attributes.
TEST(HostReport, EscapesEveryTextFromTheModemTheLogAndTheMachine)
{
    const std::string hostile = "<script>alert('x')</script> & \"q\"";
    const std::string shown = "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;";
    DeviceRecord device = modem(0, "/dev/ttySM0");
    device.fru.firmwareRevision = "3.5" + hostile;
    device.location = "Bus <0>";
    TestRecord at = test(2, "at<blink>", Diag::FAILED, 105);
    at.log = {"CheckATCommands: reply " + hostile, "PortReadLine: \x1b[2J cleared?"};
    device.tests.push_back(at);
    const std::string page = pageOf(document({device}, 2, {"host" + hostile, "Linux", "#1", "i686", ""}));

    EXPECT_EQ(std::string::npos, page.find("<script")) << page;
    EXPECT_EQ(std::string::npos, page.find("<blink>")) << page;
    for (const std::string& text : {"3.5" + shown, "CheckATCommands: reply " + shown, std::string("Bus &lt;0&gt;"),
                                    "Modem diagnostics of host" + shown,
                                    // The manifest's meaning of the code, and an escape sequence made visible.
                                    std::string("No OK &amp; no &lt;reply&gt;"), std::string("\\x1b[2J cleared?"),
                                    // In an attribute too.
                                    std::string("data-test=\"at&lt;blink&gt;\"")}) {
        EXPECT_NE(std::string::npos, page.find(text)) << text;
    }
    EXPECT_EQ(std::string::npos, page.find('\x1b'));
}

// Every test that ran has a row and a block of its outcome, and every
// selected test that did not run a row of its own; a stopped test is
// aborted, never a pass, even where a document calls it passed. The page
// is one file that needs nothing else.
TEST(HostReport, ShowsEveryTestWithItsOutcome)
{
    DeviceRecord first = modem(0, "/dev/ttySM0");
    first.tests = {test(0, "dialtone", Diag::UNUSUAL_STATUS, 109), test(1, "loopback", Diag::PASSED, 1),
                   test(2, "at", Diag::FAILED, 105)};
    first.tests[1].log = {"run", "CheckLoopback: Started"};
    DeviceRecord second = modem(1, "/dev/ttySM1");
    second.tests = {test(2, "at", Diag::PASSED, 0)};
    second.skipped = {{"dialtone", "not started: halted on an earlier failure"}};
    DeviceRecord untested = modem(2, "");
    untested.skipped = {{"at", "no driver tty (DRIVERS_NOT_INSTALLED)"}};
    const std::string text = document({first, second, untested}, 2);

    // The stopped test reads as aborted, with the plug-in's own verdict named
    // as such (the other outcomes' words: the demo run's golden document).
    const json written = json::parse(text);
    EXPECT_EQ("ABORTED", written["devices"][0]["tests"][1].at("verdict"));
    EXPECT_EQ("PASSED", written["devices"][0]["tests"][1].at("plugin_verdict"));
    EXPECT_EQ(4, written["schema_version"]);

    // A document that calls the stopped test passed (an older or a hand-made one).
    json edited = json::parse(text);
    edited["devices"][0]["tests"][1]["outcome"] = "passed";
    for (const std::string& page : {pageOf(text), pageOf(edited.dump())}) {
        const struct {
            int modem;
            const char* test;
            const char* outcome;
            const char* label;
        } rows[] = {
            {0, "dialtone", "unusual", "UNUSUAL"}, {0, "loopback", "aborted", "ABORTED"}, {0, "at", "failed", "FAILED"},
            {1, "at", "passed", "PASSED"},         {1, "dialtone", "not-run", "NOT RUN"}, {2, "at", "not-run", "NOT RUN"},
        };
        for (const auto& r : rows) {
            const std::string row = rowOf(page, r.modem, r.test);
            EXPECT_NE(std::string::npos, row.find(std::string("class=\"result ") + r.outcome + "\""))
                << r.modem << " " << r.test << ": " << row;
            EXPECT_NE(std::string::npos, row.find(std::string("<span class=\"badge\">") + r.label + "</span>")) << row;
        }
        const std::regex anyRow("<tr class=\"result ");
        EXPECT_EQ(6, std::distance(std::sregex_iterator(page.begin(), page.end(), anyRow), std::sregex_iterator()));
        EXPECT_NE(std::string::npos, page.find("<article class=\"test aborted\" id=\"m0-t1\">")) << page;
        EXPECT_NE(std::string::npos, page.find("<li>CheckLoopback: Started</li>"));
        // The summary counts the outcomes and gives the exit status with its meaning.
        EXPECT_NE(std::string::npos, page.find("<strong>Exit status 2</strong>: a test failed<br>Result: 1 passed, "
                                               "1 unusual, 1 failed, 1 aborted, 2 not run; 1 modem not tested"))
            << page;
        EXPECT_NE(std::string::npos, page.find("<div class=\"tile not-run\"><b>2</b>NOT RUN</div>"));
        EXPECT_NE(std::string::npos, page.find("<dt>Host name</dt><dd>lab-7</dd>"));
        EXPECT_NE(std::string::npos, page.find("2026-12-06 03:00:17 UTC"));
    }

    // One file that a browser shows offline as it is: nothing fetched,
    // nothing run, no link but to the page's own parts.
    const std::string page = pageOf(text);
    for (const char* reference : {"<script", "src=", "url(", "@import", "//"}) {
        EXPECT_EQ(std::string::npos, page.find(reference)) << reference;
    }
    const std::regex link("href=\"([^\"]*)\"");
    for (auto at = std::sregex_iterator(page.begin(), page.end(), link); at != std::sregex_iterator(); ++at) {
        const std::string target = (*at)[1];
        EXPECT_TRUE(target == "data:," || page.find("id=\"" + target.substr(1) + "\"") != std::string::npos) << target;
    }
}

// run --repeat: every round counts, each report keeps the rounds apart
// where it lists tests, and the metrics, which have one series per test,
// give the round with the worst outcome (a fleet alert on "failed" must
// fire whichever round failed).
TEST(HostReport, RoundsCountEachTestOnceAndKeepThemApart)
{
    DeviceRecord device = modem(0, "/dev/ttySM0");
    device.tests = {test(2, "at", Diag::PASSED, 0), test(2, "at", Diag::FAILED, 105), test(2, "at", Diag::PASSED, 0)};
    for (int round = 1; round <= 3; ++round) {
        device.tests[static_cast<std::size_t>(round - 1)].round = round;
    }
    diaghost::ReportContext context;
    context.modemsFound = 1;
    context.roundsAsked = 5;
    context.roundsRun = 3;
    const json written = json::parse(diaghost::jsonReport({"Modem Test", "1.0", ""}, {device}, manifest(), context));
    EXPECT_EQ(2, written["summary"]["outcomes"]["passed"]);
    EXPECT_EQ(1, written["summary"]["outcomes"]["failed"]);
    EXPECT_EQ(5, written["summary"]["rounds"]);
    EXPECT_EQ(3, written["summary"]["rounds_run"]);
    EXPECT_EQ(2, written["devices"][0]["tests"][1]["round"]);

    const std::string xml = diaghost::junitReport({"Modem Test", "1.0", ""}, {device}, manifest(), context);
    for (const char* name : {"at (round 1)", "at (round 2)", "at (round 3)"}) {
        EXPECT_NE(std::string::npos, xml.find(std::string("<testcase name=\"") + name + "\"")) << xml;
    }

    const std::string metrics = diaghost::metricsReport({device}, 1, 1765000000, manifest());
    const auto count = [&metrics](const std::string& text) {
        std::size_t n = 0;
        for (std::size_t at = metrics.find(text); at != std::string::npos; at = metrics.find(text, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(1u, count("outcome=\"failed\"} 1\n")) << metrics;
    EXPECT_EQ(1u, count("outcome=\"passed\"} 0\n")) << metrics;
    EXPECT_EQ(1u, count("\nmodemdiag_test_code{")) << metrics;
    EXPECT_NE(std::string::npos, metrics.find("code=\"INCORRECT_AT_RESPONSE_ERROR\"} 105\n")) << metrics;

    // The page says the round of each row and how many rounds ran.
    const std::string page = pageOf(written.dump());
    EXPECT_NE(std::string::npos, page.find("Result of 3 of 5 rounds: 2 passed, 0 unusual, 1 failed")) << page;
    EXPECT_NE(std::string::npos, page.find(">at (round 2)</a>")) << page;
}

// A run's page comes from its document only: one that is not a run's
// document is refused with a reason in one line, naming the field at fault.
TEST(HostReport, RefusesWhatIsNoRunDocument)
{
    DeviceRecord device = modem(0, "/dev/ttySM0");
    device.tests = {test(2, "at", Diag::PASSED, 0)};
    const std::string good = document({device}, 0);
    const auto changed = [&good](const std::function<void(json&)>& change) {
        json edited = json::parse(good);
        change(edited);
        return edited.dump();
    };
    diaghost::ReportContext listed;
    listed.withTests = false;
    const struct {
        std::string text;
        std::string reason;
    } cases[] = {
        {" \n", "empty: no run document"},
        {good.substr(0, good.size() / 2), "cut short: the JSON ends after " + std::to_string(good.size() / 2) + " bytes"},
        {"{\"schema_version\": 3,\n \"summary\": nope}", "not JSON: line 2, column 14: syntax error"},
        {"[3]", "not a run document: its JSON is not an object"},
        {diaghost::jsonReport({}, {device}, manifest(), listed), "a list document (list --json), not a run's"},
        {changed([](json& d) { d["schema_version"] = 2; }),
         "schema version 2: this diaghost reads run documents of versions 3 to 4"},
        {changed([](json& d) { d["schema_version"] = 5; }), "schema version 5: this diaghost reads"},
        {changed([](json& d) { d["schema_version"] = "3"; }), "schema_version is not a whole number"},
        {changed([](json& d) { d["summary"].erase("exit_status"); }), "summary.exit_status is missing"},
        {changed([](json& d) { d["devices"] = json::object(); }), "devices is not a list"},
        {changed([](json& d) { d["devices"][0]["tests"][0]["name"] = 5; }), "devices[0].tests[0].name is not a text"},
        {changed([](json& d) { d["devices"][0]["tests"][0]["log"][0] = nullptr; }),
         "devices[0].tests[0].log[0] is not a text"},
        {changed([](json& d) { d["devices"][0]["tests"][0]["outcome"] = "not-run"; }),
         "devices[0].tests[0].outcome is not the outcome of a test that ran: 'not-run'"},
    };
    for (const auto& c : cases) {
        std::string page = "untouched";
        std::string error;
        EXPECT_FALSE(diaghost::htmlReport(c.text, page, error)) << c.text;
        EXPECT_EQ(0u, error.find(c.reason)) << error;
        EXPECT_EQ(std::string::npos, error.find('\n')) << error;
        EXPECT_EQ("untouched", page);
    }

    // A run document of diaghost before the machine and the log were recorded
    // still has its page; the page says what it lacks.
    json older = json::parse(good);
    older.erase("machine");
    older.erase("finished");
    older["devices"][0]["tests"][0].erase("log");
    const std::string page = pageOf(older.dump());
    EXPECT_NE(std::string::npos, page.find("<dt>Machine</dt><dd><span class=\"none\">not in the document</span>"));
    EXPECT_NE(std::string::npos, rowOf(page, 0, "at").find("result passed")) << page;

    // Version 3: "verdict" was the plug-in's, "progress" its last figure, and
    // there were no rounds. A stopped test still reads as aborted, and one
    // that ran to its end as done.
    json third = json::parse(good);
    third["schema_version"] = 3;
    json& at = third["devices"][0]["tests"][0];
    at["verdict"] = at["plugin_verdict"];
    at["progress"] = 90;
    for (const char* key : {"plugin_verdict", "plugin_progress", "round"}) {
        at.erase(key);
    }
    third["summary"].erase("rounds");
    third["summary"].erase("rounds_run");
    std::string row = rowOf(pageOf(third.dump()), 0, "at");
    EXPECT_NE(std::string::npos, row.find("result passed")) << row;
    EXPECT_NE(std::string::npos, row.find(">100%<")) << row;
    at["code"] = "TEST_ABORTED";
    at.erase("outcome");
    row = rowOf(pageOf(third.dump()), 0, "at");
    EXPECT_NE(std::string::npos, row.find("result aborted")) << row;
    EXPECT_NE(std::string::npos, row.find(">90%<")) << row;
}
