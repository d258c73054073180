// diaghost against simulated machines: lists, verdicts, exit statuses, reports, Ctrl-C, the terminal.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "HostProcess.h"
#include "TestSupport.h"

using hosttest::Finished;
using nlohmann::json;

namespace {

// "modem test: VERDICT CODE event..." for each test run; for list, each
// modem's "index tty slot status firmware".
std::vector<std::string> summary(const Finished& run)
{
    const json document = json::parse(run.out, nullptr, false);
    EXPECT_TRUE(document.is_object()) << "not one JSON document:\n" << run.out << "\nstderr:\n" << run.err;
    std::vector<std::string> lines;
    for (const json& device : document.is_object() ? document.at("devices") : json::array()) {
        if (!device.contains("tests")) {
            lines.push_back(device.at("index").dump() + " " + device.at("tty").get<std::string>() + " slot " +
                            device.at("slot").dump() + " " + device.at("status").get<std::string>() + " " +
                            device.at("fru").at("firmware_revision").get<std::string>());
        }
        for (const json& test : device.value("tests", json::array())) {
            std::string line = device.at("index").dump() + " " + test.at("name").get<std::string>() + ": " +
                               test.at("verdict").get<std::string>() + " " + test.at("code").get<std::string>();
            for (const json& event : test.at("events")) {
                line += " " + event.at("code").get<std::string>();
            }
            lines.push_back(line);
        }
    }
    return lines;
}

// The value of an attribute in the attribute text of an XML start tag.
std::string attribute(const std::string& tag, const std::string& name)
{
    std::smatch match;
    return std::regex_search(tag, match, std::regex("\\b" + name + "=\"([^\"]*)\"")) ? match[1].str() : "";
}

// Each run gets a TMPDIR of its own, so the folders --simulate makes and
// keeps are looked at and then removed with it.
class HostRun : public ::testing::Test {
protected:
    Finished run(const std::vector<std::string>& args) const { return hosttest::runHost(args, env); }

    testsupport::TempDir tmp;
    const std::vector<std::string> env = {"TMPDIR=" + tmp.path()};
};

}  // namespace

// list, and quick runs of the AT command test, one per exit status.
TEST_F(HostRun, ListsModemsAndExitsWithTheWorstVerdict)
{
    const struct {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> lines;
    } cases[] = {
        {{"--simulate", "list"}, 0,
         {"0 /dev/ttySM0 slot 1 NORMAL 3.5.22", "1 /dev/ttySM1 slot 2 NORMAL 3.5.22",
          "2  slot 3 DRIVERS_NOT_INSTALLED "}},
        {{"--simulate=healthy", "run", "--test", "at"}, 0,
         {"0 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE"}},
        {{"--simulate=busy", "run", "--test", "at"}, 1,
         {"0 at: UNUSUAL_STATUS MODEMS_IN_USE MODEMS_IN_USE", "1 at: UNUSUAL_STATUS MODEMS_IN_USE MODEMS_IN_USE"}},
        {{"--simulate=at-errors", "run", "--test", "at"}, 2,
         {"0 at: FAILED INCORRECT_AT_RESPONSE_ERROR CORRECT_AT_RESPONSE INCORRECT_AT_RESPONSE_ERROR "
          "INCORRECT_AT_RESPONSE_ERROR"}},
        {{"--simulate=at-errors", "run", "--test", "at", "--halt-on-error"}, 2,
         {"0 at: FAILED INCORRECT_AT_RESPONSE_ERROR CORRECT_AT_RESPONSE INCORRECT_AT_RESPONSE_ERROR HALTED_ON_ERROR"}},
        {{"--simulate=none", "run", "--test", "at"}, 3, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        const Finished done = run(args);
        EXPECT_EQ(c.status, done.status) << c.args[0] << "\n" << done.err;
        EXPECT_EQ(c.lines, summary(done)) << c.args[0];
    }
}

// The demo: every test on every modem, every kind of verdict.
TEST_F(HostRun, DemoRunGivesEveryVerdictInJsonAndJunit)
{
    const Finished demo = run({"--simulate", "run", "--json", "--junit", tmp.file("report.xml")});
    EXPECT_EQ(2, demo.status) << demo.err;
    const std::vector<std::string> expected = {
        "0 dialtone: PASSED TEST_COMPLETED_SUCCESSFULLY DIALTONE_PRESENT",
        "0 loopback: PASSED TEST_COMPLETED_SUCCESSFULLY LOOPBACK_TEST_NO_ERRORS_REPORTED",
        "0 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE",
        "1 dialtone: UNUSUAL_STATUS NO_DIALTONE_WARNING NO_DIALTONE",
        "1 loopback: FAILED LOOPBACK_TEST_ERRORS_REPORTED LOOPBACK_TEST_ERRORS_REPORTED",
        "1 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE",
    };
    EXPECT_EQ(expected, summary(demo));

    // The keys added to the document around the results.
    const json document = json::parse(demo.out);
    EXPECT_EQ(2, document.value("schema_version", 0));
    EXPECT_TRUE(std::regex_match(document.value("started", ""), std::regex("20\\d\\d-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ")))
        << document.dump();
    EXPECT_EQ(false, document.value("interrupted", true));
    const json& healthy = document.at("devices").at(0);
    EXPECT_EQ("0000:00:09.0", healthy.value("pci_address", ""));
    EXPECT_EQ(nullptr, healthy.at("not_tested"));
    const json& dialtone = healthy.at("tests").at(0);
    EXPECT_EQ("passed", dialtone.value("outcome", ""));
    EXPECT_GT(dialtone.value("duration_ms", 0), 100);
    EXPECT_EQ("A dial tone was heard on the telephone line", dialtone.at("events").at(0).value("text", ""));
    EXPECT_EQ("unusual", document.at("devices").at(1).at("tests").at(0).value("outcome", ""));
    EXPECT_EQ("failed", document.at("devices").at(1).at("tests").at(1).value("outcome", ""));
    const json& untested = document.at("devices").at(2);
    EXPECT_EQ("no driver tty (DRIVERS_NOT_INSTALLED)", untested.value("not_tested", ""));
    EXPECT_EQ(3u, untested.at("skipped").size());
    EXPECT_EQ("not-run", untested.at("skipped").at(0).value("outcome", ""));

    // JUnit: FAILED a failure, UNUSUAL_STATUS an error, the modem without tty skipped.
    const std::string xml = testsupport::readFile(tmp.file("report.xml"));
    std::smatch suites;
    ASSERT_TRUE(std::regex_search(xml, suites, std::regex("<testsuites([^>]*)>"))) << xml;
    std::string outcome;
    for (const char* name : {"tests", "failures", "errors", "skipped"}) {
        outcome += attribute(suites[1], name) + " ";
    }
    const std::regex testcase(R"(<testcase([^>]*)>\s*(?:<(failure|error|skipped)\b)?)");
    for (std::sregex_iterator c(xml.begin(), xml.end(), testcase), end; c != end; ++c) {
        outcome += attribute((*c)[1], "classname") + "." + attribute((*c)[1], "name") + ":" + (*c)[2].str() + " ";
    }
    EXPECT_EQ("9 1 1 3 diaghost.modem0.dialtone: diaghost.modem0.loopback: diaghost.modem0.at: "
              "diaghost.modem1.dialtone:error diaghost.modem1.loopback:failure diaghost.modem1.at: "
              "diaghost.modem2.dialtone:skipped diaghost.modem2.loopback:skipped diaghost.modem2.at:skipped ",
              outcome);
}

// One Ctrl-C aborts the loopback test and starts no other. The dial tone
// test does not react to an abort: a second Ctrl-C ends diaghost at once.
// Either way the simulated root is removed and only the log folder is kept.
TEST_F(HostRun, CtrlCAbortsTheTestAndASecondStopsAtOnce)
{
    hosttest::RunningHost looping(
        {"--simulate=healthy", "run", "--test", "loopback", "--test", "at", "--json", "--junit", tmp.file("r.xml")}, env);
    ASSERT_TRUE(looping.waitFor("loopback: started", 20000));
    sleep(1);  // inside the three-second self test
    looping.signal(SIGINT);
    const Finished aborted = looping.finish();
    EXPECT_EQ(1, aborted.status) << aborted.err;
    // The raw result stays in the JSON; every output calls it aborted.
    EXPECT_EQ(std::vector<std::string>{"0 loopback: PASSED TEST_ABORTED"}, summary(aborted));
    const json document = json::parse(aborted.out, nullptr, false);
    EXPECT_EQ("aborted", document.at("devices").at(0).at("tests").at(0).value("outcome", "")) << aborted.out;
    EXPECT_EQ(true, document.value("interrupted", false));
    EXPECT_TRUE(std::regex_search(aborted.err, std::regex("loopback +ABORTED")));
    EXPECT_TRUE(std::regex_search(aborted.err, std::regex("0 ttySM0 +loopback +ABORTED +TEST_ABORTED")));
    EXPECT_NE(std::string::npos, aborted.err.find("Result: 0 passed, 0 unusual, 0 failed, 1 aborted"));
    const std::string xml = testsupport::readFile(tmp.file("r.xml"));
    EXPECT_TRUE(std::regex_search(xml, std::regex("<testcase name=\"loopback\"[^>]*>\\s*<skipped message=\"TEST_ABORTED: "))) << xml;
    // The AT command test that did not start is skipped too, with its reason.
    EXPECT_NE(std::string::npos, xml.find("failures=\"0\" errors=\"0\" skipped=\"2\"")) << xml;

    // A silent modem keeps the dial tone test busy for seconds, so both
    // Ctrl-Cs land inside it even on a loaded machine.
    hosttest::RunningHost dialing({"--simulate=silent", "run", "--test", "dialtone"}, env);
    ASSERT_TRUE(dialing.waitFor("dialtone: started", 20000));
    sleep(1);  // the test is under way, not about to start
    dialing.signal(SIGINT);
    ASSERT_TRUE(dialing.waitFor("Ctrl-C: asked the running test to stop", 5000));
    dialing.signal(SIGINT);
    const Finished stopped = dialing.finish();
    EXPECT_EQ(130, stopped.status) << stopped.out << stopped.err;
    const std::string left = testsupport::runCommand("ls -A '" + tmp.path() + "'");
    EXPECT_TRUE(std::regex_match(left, std::regex("(diaghost-simulate-\\w+\n){2}r.xml\n"))) << left;
}

TEST_F(HostRun, ProgressOnATerminalReaches100AndTheCursorComesBack)
{
    const Finished shown = hosttest::runHost({"--simulate=healthy", "run", "--test", "at"},
                                             {"TMPDIR=" + tmp.path(), "TERM=xterm"}, DIAGHOST_PATH, true);
    EXPECT_EQ(0, shown.status) << shown.out;
    EXPECT_NE(std::string::npos, shown.out.find("[" + std::string(30, '#') + "] 100%")) << shown.out;
    EXPECT_NE(std::string::npos, shown.out.find("\033[?25h")) << "cursor shown again";
}

// --device picks a modem by index, tty or PCI address, in any of their spellings.
TEST_F(HostRun, DeviceIsChosenByIndexTtyOrPciAddress)
{
    const struct {
        std::string device;
        int status;
        std::vector<std::string> lines;
    } cases[] = {
        {"1", 0, {"1 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE"}},
        {"/dev/ttySM1", 0, {"1 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE"}},
        {"ttySM0", 0, {"0 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE"}},
        {"00:0a.0", 0, {"1 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE"}},
        {"0000:00:0A.0", 0, {"1 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE"}},
        // The modem without a tty, by its address: found, nothing to run.
        {"02:04.0", 1, {}},
        {"00:1f.0", 64, {}},
        {"/dev/ttySM7", 64, {}},
    };
    for (const auto& c : cases) {
        const Finished done = run({"--simulate", "run", "--test", "at", "--json", "--device", c.device});
        EXPECT_EQ(c.status, done.status) << c.device << "\n" << done.err;
        if (c.status == 64) {
            EXPECT_NE(std::string::npos, done.err.find("no modem " + c.device)) << done.err;
            continue;
        }
        EXPECT_EQ(c.lines, summary(done)) << c.device;
        const json document = json::parse(done.out, nullptr, false);
        ASSERT_TRUE(document.is_object()) << done.out;
        ASSERT_EQ(1u, document.at("devices").size()) << c.device;
        EXPECT_EQ("e7a5:0418", document.at("devices").at(0).value("pci_id", "")) << c.device;
    }
}

// Fitted to the window: no row wider than the terminal, no copy of a
// progress line left behind by its redraws, the summary and the meanings
// whole or shortened with an ellipsis, and the limit of each test shown.
TEST_F(HostRun, OutputFitsTerminalsOf80And50Columns)
{
    const std::vector<std::string> args = {"--simulate", "run", "--test", "loopback", "--test", "at"};
    const std::vector<std::string> terminal = {"TMPDIR=" + tmp.path(), "TERM=xterm", "LANG=C.UTF-8"};
    hosttest::RunningHost wide(args, terminal, DIAGHOST_PATH, true, 80);
    hosttest::RunningHost narrow(args, terminal, DIAGHOST_PATH, true, 50);
    // The terminal's echo of a Ctrl-C typed while the live line is shown.
    hosttest::RunningHost stopped({"--simulate=healthy", "run", "--test", "loopback"}, terminal, DIAGHOST_PATH,
                                  true, 80);
    ASSERT_TRUE(stopped.waitFor("of up to 23 s", 20000));
    sleep(1);
    stopped.type("\x03");
    // The screen of a run shown in the given width, with no row wider and
    // no stale progress line.
    const auto screenOf = [](const Finished& shown, std::size_t width) {
        const hosttest::Screen screen = hosttest::showOnTerminal(shown.out, width);
        EXPECT_EQ(0, screen.overflows) << width << " columns:\n" << shown.out;
        for (const std::string& row : screen.rows) {
            EXPECT_EQ(std::string::npos, row.find("[#")) << "stale progress line: " << row;
            EXPECT_EQ(std::string::npos, row.find("[.")) << "stale progress line: " << row;
        }
        return screen.text();
    };
    const std::string afterCtrlC = screenOf(stopped.finish(), 80);
    EXPECT_NE(std::string::npos, afterCtrlC.find("\n  loopback  ABORTED")) << afterCtrlC;

    const Finished shown[] = {wide.finish(), narrow.finish()};
    const std::size_t widths[] = {80, 50};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(2, shown[i].status) << shown[i].out;
        const std::string rows = screenOf(shown[i], widths[i]);
        EXPECT_NE(std::string::npos, rows.find("Result: 3 passed, 0 unusual, 1 failed, 0 aborted")) << rows;
        EXPECT_TRUE(std::regex_search(rows, std::regex("\n  1 ttySM1 +loopback +FAILED +LOOPBACK_TEST_E"))) << rows;
        EXPECT_TRUE(std::regex_search(rows, std::regex("\n  2 - +- +NOT TESTED +no driver tty"))) << rows;
        // The live line said how long the test may take.
        EXPECT_NE(std::string::npos, shown[i].out.find("of up to 23 s")) << shown[i].out;
    }
}

// -v shows the test's own log lines as the plug-in writes them, -q only the
// summary; off a terminal a long test says it is still running every 5 s.
TEST_F(HostRun, VerboseShowsTheDialogueQuietOnlyTheSummary)
{
    const Finished verbose = run({"--simulate=healthy", "run", "--test", "at", "-v"});
    EXPECT_EQ(0, verbose.status) << verbose.err;
    EXPECT_TRUE(std::regex_search(verbose.out,
                                  std::regex("at: started \\(AT command acknowledgement, up to 7 s\\)\n"
                                             "(.*\n)*      \\| CheckATCommands: Started\n"
                                             "(.*\n)*      \\| CheckATCommands: Correct AT Command response "
                                             "received for command at\\+fclass=2.0\n"
                                             "(.*\n)*  at +PASSED")))
        << verbose.out;

    const Finished quiet = run({"--simulate=healthy", "run", "--test", "at", "-q"});
    EXPECT_EQ(0, quiet.status) << quiet.err;
    EXPECT_EQ(std::string::npos, quiet.out.find("started")) << quiet.out;
    EXPECT_EQ(std::string::npos, quiet.out.find("CORRECT_AT_RESPONSE")) << quiet.out;
    EXPECT_TRUE(std::regex_search(quiet.out, std::regex("^\nSummary\n  MODEM +TEST"))) << quiet.out;

    // A modem that never answers keeps the AT command test waiting for seconds.
    const Finished silent = run({"--simulate=silent", "run", "--test", "at"});
    EXPECT_TRUE(std::regex_search(silent.out, std::regex("at: running, [5-6]\\.[0-9] s of up to 7 s"))) << silent.out;
}

// A modem whose version text holds escape sequences and a line feed cannot
// reach the terminal raw: list, list -v and run show it escaped, JSON and
// JUnit carry it escaped in their own ways.
TEST_F(HostRun, HostileModemTextIsShownEscaped)
{
    hosttest::RunningHost modem({"--profile", "hostile-ati3", "--root", tmp.file("root")}, {}, MODEMSIM_PATH);
    ASSERT_TRUE(modem.waitFor("MODEMDIAG_SYSROOT=", 10000));
    const std::string escaped = "3.5\\x1b]0;owned\\x07\\x1b[2J\\nFORGED 9.9";
    // diaghost's own sequences: colours, erase line, cursor visibility.
    const std::regex ours("\033\\[([0-9;]*m|2K|\\?25[lh])");
    const struct {
        std::vector<std::string> args;
        bool onTerminal;
    } cases[] = {
        {{"list"}, false},
        {{"list", "-v"}, true},
        {{"run", "--test", "at", "-v", "--junit", tmp.file("r.xml")}, true},
        {{"run", "--test", "at"}, false},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--sysroot", tmp.file("root")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Finished done = hosttest::runHost(args, {"TERM=xterm"}, DIAGHOST_PATH, c.onTerminal, 200);
        const std::string what = ::testing::PrintToString(c.args);
        EXPECT_EQ(0, done.status) << what << done.out << done.err;
        const std::string text = std::regex_replace(done.out + done.err, ours, "");
        EXPECT_EQ(std::string::npos, text.find_first_of("\033\007")) << what << "\n" << text;
        EXPECT_NE(std::string::npos, text.find(escaped)) << what << "\n" << text;
        EXPECT_FALSE(std::regex_search(text, std::regex("(^|\n)FORGED"))) << what << "\n" << text;
    }
    const std::string listed = hosttest::runHost({"--sysroot", tmp.file("root"), "list", "--json"}).out;
    EXPECT_EQ("3.5\033]0;owned\a\033[2J\nFORGED 9.9",
              json::parse(listed).at("devices").at(0).at("fru").value("firmware_revision", ""));
    const std::string xml = testsupport::readFile(tmp.file("r.xml"));
    EXPECT_NE(std::string::npos, xml.find("value=\"3.5?]0;owned??[2J\nFORGED 9.9\"")) << xml;
}
