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
    hosttest::RunningHost looping({"--simulate=healthy", "run", "--test", "loopback", "--test", "at", "--json"}, env);
    ASSERT_TRUE(looping.waitFor("loopback: started", 20000));
    sleep(1);  // inside the three-second self test
    looping.signal(SIGINT);
    const Finished aborted = looping.finish();
    EXPECT_EQ(1, aborted.status) << aborted.err;
    EXPECT_EQ(std::vector<std::string>{"0 loopback: PASSED TEST_ABORTED"}, summary(aborted));

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
    EXPECT_TRUE(std::regex_match(left, std::regex("(diaghost-simulate-\\w+\n){2}"))) << left;
}

TEST_F(HostRun, ProgressOnATerminalReaches100AndTheCursorComesBack)
{
    const Finished shown = hosttest::runHost({"--simulate=healthy", "run", "--test", "at"},
                                             {"TMPDIR=" + tmp.path(), "TERM=xterm"}, DIAGHOST_PATH, true);
    EXPECT_EQ(0, shown.status) << shown.out;
    EXPECT_NE(std::string::npos, shown.out.find("[" + std::string(30, '#') + "] 100%")) << shown.out;
    EXPECT_NE(std::string::npos, shown.out.find("\033[?25h")) << "cursor shown again";
}
