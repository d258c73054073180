// diaghost against simulated machines: lists, verdicts, exit statuses, reports, Ctrl-C, the terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <regex>
#include <unistd.h>

#include "HostProcess.h"
#include "TestSupport.h"

using hosttest::Finished;
using nlohmann::json;

namespace {

json parse(const Finished& run)
{
    const json document = json::parse(run.out, nullptr, false);
    EXPECT_TRUE(document.is_object()) << "not one JSON document:\n" << run.out << "\nstderr:\n" << run.err;
    return document.is_object() ? document : json{{"devices", json::array()}};
}

// "modem test: VERDICT CODE event..." for each test run, in order.
std::vector<std::string> testLines(const json& document)
{
    std::vector<std::string> lines;
    for (const json& device : document.at("devices")) {
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

// Every run gets a TMPDIR of its own, so the folders --simulate makes and
// keeps are looked at and then removed with it.
class HostRun : public ::testing::Test {
protected:
    Finished run(const std::vector<std::string>& args) const { return hosttest::runHost(args, env()); }
    std::vector<std::string> env() const { return {"TMPDIR=" + tmp.path()}; }

    testsupport::TempDir tmp;
};

}  // namespace

TEST_F(HostRun, ListJsonDescribesTheModemsOfTheMachine)
{
    const Finished list = run({"--simulate", "list", "--json"});
    EXPECT_EQ(0, list.status) << list.err;
    const json document = parse(list);
    std::vector<std::string> modems;
    for (const json& device : document.at("devices")) {
        modems.push_back(device.at("index").dump() + " " + device.at("tty").get<std::string>() + " slot " +
                         device.at("slot").dump() + " " + device.at("status").get<std::string>() + " " +
                         device.at("fru").at("firmware_revision").get<std::string>());
    }
    EXPECT_EQ((std::vector<std::string>{"0 /dev/ttySM0 slot 1 NORMAL 3.5.22", "1 /dev/ttySM1 slot 2 NORMAL 3.5.22",
                                        "2  slot 3 DRIVERS_NOT_INSTALLED "}),
              modems);
}

// Quick runs of the AT command test, one per exit status.
TEST_F(HostRun, ExitStatusFollowsTheWorstVerdict)
{
    const struct {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> tests;
    } cases[] = {
        {{"--simulate=healthy"}, 0,
         {"0 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE"}},
        {{"--simulate=busy"}, 1,
         {"0 at: UNUSUAL_STATUS MODEMS_IN_USE MODEMS_IN_USE", "1 at: UNUSUAL_STATUS MODEMS_IN_USE MODEMS_IN_USE"}},
        {{"--simulate=at-errors"}, 2,
         {"0 at: FAILED INCORRECT_AT_RESPONSE_ERROR CORRECT_AT_RESPONSE INCORRECT_AT_RESPONSE_ERROR "
          "INCORRECT_AT_RESPONSE_ERROR"}},
        {{"--simulate=at-errors", "--halt-on-error"}, 2,
         {"0 at: FAILED INCORRECT_AT_RESPONSE_ERROR CORRECT_AT_RESPONSE INCORRECT_AT_RESPONSE_ERROR HALTED_ON_ERROR"}},
        {{"--simulate=none"}, 3, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {c.args[0], "run", "--test", "at", "--json"};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        const Finished at = run(args);
        EXPECT_EQ(c.status, at.status) << c.args[0] << "\n" << at.err;
        EXPECT_EQ(c.tests, testLines(parse(at))) << c.args[0];
    }
}

// The demo: every test on every modem, every kind of verdict.
TEST_F(HostRun, DemoRunGivesEveryVerdictInJsonAndJunit)
{
    const std::string junit = tmp.file("report.xml");
    const Finished demo = run({"--simulate", "run", "--json", "--junit", junit});
    EXPECT_EQ(2, demo.status) << demo.err;
    const std::vector<std::string> expected = {
        "0 dialtone: PASSED TEST_COMPLETED_SUCCESSFULLY DIALTONE_PRESENT",
        "0 loopback: PASSED TEST_COMPLETED_SUCCESSFULLY LOOPBACK_TEST_NO_ERRORS_REPORTED",
        "0 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE",
        "1 dialtone: UNUSUAL_STATUS NO_DIALTONE_WARNING NO_DIALTONE",
        "1 loopback: FAILED LOOPBACK_TEST_ERRORS_REPORTED LOOPBACK_TEST_ERRORS_REPORTED",
        "1 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE",
    };
    EXPECT_EQ(expected, testLines(parse(demo)));

    // JUnit: FAILED a failure, UNUSUAL_STATUS an error, the modem without
    // tty skipped.
    const std::string xml = testsupport::readFile(junit);
    std::smatch suites;
    ASSERT_TRUE(std::regex_search(xml, suites, std::regex("<testsuites([^>]*)>"))) << xml;
    EXPECT_EQ("9 1 1 3", attribute(suites[1], "tests") + " " + attribute(suites[1], "failures") + " " +
                             attribute(suites[1], "errors") + " " + attribute(suites[1], "skipped"));
    std::vector<std::string> outcome;
    const std::regex testcase(R"(<testcase([^>]*)>\s*(?:<(failure|error|skipped)\b)?)");
    for (std::sregex_iterator c(xml.begin(), xml.end(), testcase), end; c != end; ++c) {
        outcome.push_back(attribute((*c)[1], "classname") + "." + attribute((*c)[1], "name") +
                          ((*c)[2].matched ? ":" + (*c)[2].str() : ""));
    }
    const std::vector<std::string> expectedCases = {
        "diaghost.modem0.dialtone", "diaghost.modem0.loopback", "diaghost.modem0.at",
        "diaghost.modem1.dialtone:error", "diaghost.modem1.loopback:failure", "diaghost.modem1.at",
        "diaghost.modem2.dialtone:skipped", "diaghost.modem2.loopback:skipped", "diaghost.modem2.at:skipped"};
    EXPECT_EQ(expectedCases, outcome);
}

TEST_F(HostRun, CtrlCAbortsTheLoopbackTestAndStartsNoOther)
{
    hosttest::RunningHost host({"--simulate=healthy", "run", "--test", "loopback", "--test", "at", "--json"}, env());
    ASSERT_TRUE(host.waitFor("loopback: started", 20000));
    // Inside the three-second self test.
    sleep(1);
    host.signal(SIGINT);
    const Finished aborted = host.finish();

    EXPECT_EQ(1, aborted.status) << aborted.err;
    EXPECT_EQ(std::vector<std::string>{"0 loopback: PASSED TEST_ABORTED"}, testLines(parse(aborted)))
        << "the AT command test must not start";
}

TEST_F(HostRun, SecondCtrlCStopsAtOnceAndRemovesTheSimulatedMachine)
{
    // The dial tone test does not react to an abort: only a second Ctrl-C
    // ends the program before the test does.
    hosttest::RunningHost host({"--simulate=healthy", "run", "--test", "dialtone"}, env());
    ASSERT_TRUE(host.waitFor("dialtone: started", 20000));
    host.signal(SIGINT);
    ASSERT_TRUE(host.waitFor("Ctrl-C: asked the running test to stop", 5000));
    host.signal(SIGINT);
    const Finished stopped = host.finish();

    EXPECT_EQ(130, stopped.status) << stopped.out << stopped.err;
    // Only the kept log folder is left; the simulated root is gone.
    const std::string left = testsupport::runCommand("ls -A '" + tmp.path() + "'");
    EXPECT_TRUE(std::regex_match(left, std::regex("diaghost-simulate-\\w+\n"))) << left;
}

TEST_F(HostRun, ProgressOnATerminalReaches100AndTheCursorComesBack)
{
    const Finished shown = hosttest::runHost({"--simulate=healthy", "run", "--test", "at"},
                                             {"TMPDIR=" + tmp.path(), "TERM=xterm"}, DIAGHOST_PATH, true);
    EXPECT_EQ(0, shown.status) << shown.out;
    EXPECT_NE(std::string::npos, shown.out.find("[" + std::string(30, '#') + "] 100%")) << shown.out;
    EXPECT_NE(std::string::npos, shown.out.find("\033[?25h")) << "cursor shown again";
}
