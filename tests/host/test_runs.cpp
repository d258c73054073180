// diaghost against simulated machines: lists, verdicts, exit statuses, reports, Ctrl-C.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <dirent.h>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "HostProcess.h"
#include "SimulatedRoot.h"
#include "TestSupport.h"
#include "VirtualModem.h"

using hosttest::Finished;
using hosttest::runHost;
using nlohmann::json;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

json parse(const Finished& run)
{
    try {
        return json::parse(run.out);
    } catch (const json::exception& e) {
        ADD_FAILURE() << "not one JSON document (" << e.what() << "):\n" << run.out << "\nstderr:\n" << run.err;
        return json::object();
    }
}

std::vector<std::string> eventCodes(const json& test)
{
    std::vector<std::string> codes;
    for (const json& event : test.at("events")) {
        codes.push_back(event.at("code").get<std::string>());
    }
    return codes;
}

std::vector<std::string> folderEntries(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    return names;
}

// Every run gets a TMPDIR of its own, so the folders --simulate makes and
// keeps are looked at and then removed with it.
class HostRun : public ::testing::Test {
protected:
    std::vector<std::string> env() const { return {"TMPDIR=" + m_tmp.path()}; }
    const std::string& tmp() const { return m_tmp.path(); }

private:
    testsupport::TempDir m_tmp;
};

}  // namespace

TEST_F(HostRun, ListJsonDescribesTheDemoMachine)
{
    const Finished run = runHost({"--simulate", "list", "--json"}, env());
    EXPECT_EQ(0, run.status) << run.err;
    const json document = parse(run);
    EXPECT_EQ("Modem Test", document["package"]["name"]);
    EXPECT_EQ("1.0", document["package"]["version"]);
    ASSERT_EQ(3u, document["devices"].size()) << run.out;

    const struct {
        const char* tty;
        int slot;
        const char* status;
        const char* firmware;
    } expected[] = {
        {"/dev/ttySM0", 1, "NORMAL", "3.5.22"},
        {"/dev/ttySM1", 2, "NORMAL", "3.5.22"},
        {"", 3, "DRIVERS_NOT_INSTALLED", ""},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        const json& device = document["devices"][i];
        EXPECT_EQ(static_cast<int>(i), device["index"]);
        EXPECT_EQ(expected[i].tty, device["tty"]) << i;
        EXPECT_EQ(expected[i].slot, device["slot"]) << i;
        EXPECT_EQ(expected[i].status, device["status"]) << i;
        EXPECT_EQ(expected[i].firmware, device["fru"]["firmware_revision"]) << i;
        EXPECT_EQ("Tessaly Corporation", device["fru"]["manufacturer"]) << i;
        EXPECT_FALSE(device.contains("tests")) << i;
        for (const char* key : {"device_name", "description", "serial_number", "model_number", "asset_tag", "sku_number"}) {
            EXPECT_TRUE(device["fru"].contains(key)) << key;
        }
    }
    EXPECT_EQ("PCI Bus 2, Device 4, Function 0", document["devices"][2]["location"]);
}

TEST_F(HostRun, ListShowsOneRowPerModemAndEverythingWithVerbose)
{
    const Finished table = runHost({"--simulate", "list"}, env());
    EXPECT_EQ(0, table.status) << table.err;
    const std::regex row(R"(^1\s+PCI Bus 0, Device 10, Function 0\s+/dev/ttySM1\s+2\s+3\.5\.22\s+NORMAL$)");
    const std::regex untested(R"(^2\s+PCI Bus 2, Device 4, Function 0\s+-\s+3\s+-\s+DRIVERS_NOT_INSTALLED$)");
    bool sawRow = false;
    bool sawUntested = false;
    std::istringstream lines(table.out);
    for (std::string line; std::getline(lines, line);) {
        sawRow = sawRow || std::regex_match(line, row);
        sawUntested = sawUntested || std::regex_match(line, untested);
    }
    EXPECT_TRUE(sawRow) << table.out;
    EXPECT_TRUE(sawUntested) << table.out;
    // The simulated run's logs are named, on stderr.
    EXPECT_TRUE(contains(table.err, tmp() + "/diaghost-simulate-")) << table.err;

    const Finished verbose = runHost({"--simulate=healthy", "list", "-v"}, env());
    EXPECT_EQ(0, verbose.status) << verbose.err;
    for (const char* part : {"Modem 0", "TSY V.92 56K Modem", "Tessaly Parlance V.92 56K PCI Modem", "MODEM",
                             "System Board!PCI Bus 0", "PCI Slot 1", "Tessaly Corporation", "TSY70418", "3.5.22",
                             "NORMAL", "Serial number", "Asset tag", "SKU number"}) {
        EXPECT_TRUE(contains(verbose.out, part)) << part << " in:\n" << verbose.out;
    }
}

TEST_F(HostRun, ListReadsAPreparedSystemRoot)
{
    modemsim::VirtualModem modem;
    modemsim::SimulatedRoot root;
    root.addChipset();
    root.addModem(1, 5);
    root.linkTty(0, modem.slavePath());
    root.setModules(65536, 0);
    root.setKcore();

    const Finished run = runHost({"--sysroot", root.path(), "list", "--json"}, env());
    EXPECT_EQ(0, run.status) << run.err;
    const json document = parse(run);
    ASSERT_EQ(1u, document["devices"].size()) << run.out;
    EXPECT_EQ("/dev/ttySM0", document["devices"][0]["tty"]);
    EXPECT_EQ("PCI Bus 1, Device 5, Function 0", document["devices"][0]["location"]);
    EXPECT_EQ(0, document["devices"][0]["slot"]);  // no BIOS slot table
}

TEST_F(HostRun, NoModemExitsWith3)
{
    const Finished list = runHost({"--simulate=none", "list"}, env());
    EXPECT_EQ(3, list.status);
    EXPECT_TRUE(contains(list.out, "No modem found.")) << list.out;

    const Finished run = runHost({"--simulate=none", "run", "--json"}, env());
    EXPECT_EQ(3, run.status);
    EXPECT_TRUE(parse(run)["devices"].empty()) << run.out;
}

// Quick runs of the AT command test, one per exit status.
TEST_F(HostRun, ExitStatusFollowsTheWorstVerdict)
{
    const struct {
        const char* machine;
        std::vector<std::string> extra;
        int status;
        const char* verdict;
        const char* code;
        const char* type;
        std::vector<std::string> events;
        int progress;
    } cases[] = {
        {"healthy", {}, 0, "PASSED", "TEST_COMPLETED_SUCCESSFULLY", "INFORMATION_EVENT",
         {"CORRECT_AT_RESPONSE", "CORRECT_AT_RESPONSE", "CORRECT_AT_RESPONSE"}, 100},
        {"busy", {}, 1, "UNUSUAL_STATUS", "MODEMS_IN_USE", "WARNING_EVENT", {"MODEMS_IN_USE"}, 0},
        {"at-errors", {}, 2, "FAILED", "INCORRECT_AT_RESPONSE_ERROR", "ERROR_EVENT",
         {"CORRECT_AT_RESPONSE", "INCORRECT_AT_RESPONSE_ERROR", "INCORRECT_AT_RESPONSE_ERROR"}, 100},
        {"at-errors", {"--halt-on-error"}, 2, "FAILED", "INCORRECT_AT_RESPONSE_ERROR", "ERROR_EVENT",
         {"CORRECT_AT_RESPONSE", "INCORRECT_AT_RESPONSE_ERROR", "HALTED_ON_ERROR"}, 33},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {std::string("--simulate=") + c.machine, "run", "--test", "at", "--json"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const Finished run = runHost(args, env());
        EXPECT_EQ(c.status, run.status) << c.machine << "\n" << run.err;
        const json document = parse(run);
        ASSERT_FALSE(document["devices"].empty()) << c.machine;
        for (const json& device : document["devices"]) {
            ASSERT_EQ(1u, device["tests"].size()) << c.machine;
            const json& test = device["tests"][0];
            EXPECT_EQ(2, test["index"]);
            EXPECT_EQ("at", test["name"]);
            EXPECT_EQ(c.verdict, test["verdict"]) << c.machine;
            EXPECT_EQ(c.code, test["code"]) << c.machine;
            EXPECT_EQ(c.type, test["type"]) << c.machine;
            EXPECT_EQ(c.progress, test["progress"]) << c.machine;
            EXPECT_EQ(c.events, eventCodes(test)) << c.machine;
        }
    }
}

namespace {

struct XmlElement {
    std::string name;
    std::map<std::string, std::string> attributes;
};

// The start tags of a document, in order, with their attributes.
std::vector<XmlElement> startTags(const std::string& xml)
{
    std::vector<XmlElement> elements;
    const std::regex tag(R"(<([A-Za-z-]+)((?:\s+[a-z_]+="[^"<]*")*)\s*/?>)");
    const std::regex attribute(R"(([a-z_]+)="([^"]*)\")");
    for (auto match = std::sregex_iterator(xml.begin(), xml.end(), tag); match != std::sregex_iterator(); ++match) {
        XmlElement element;
        element.name = (*match)[1];
        const std::string attributes = (*match)[2];
        for (auto a = std::sregex_iterator(attributes.begin(), attributes.end(), attribute);
             a != std::sregex_iterator(); ++a) {
            element.attributes[(*a)[1]] = (*a)[2];
        }
        elements.push_back(element);
    }
    return elements;
}

}  // namespace

// The demo: every test on every modem, every kind of verdict.
TEST_F(HostRun, DemoRunGivesEveryVerdictInJsonAndJunit)
{
    const std::string junit = tmp() + "/report.xml";
    const Finished run = runHost({"--simulate", "run", "--json", "--junit", junit}, env());
    EXPECT_EQ(2, run.status) << run.err;
    const json document = parse(run);
    ASSERT_EQ(3u, document["devices"].size()) << run.out;

    const struct {
        int device;
        const char* name;
        const char* verdict;
        const char* code;
        std::vector<std::string> events;
    } expected[] = {
        {0, "dialtone", "PASSED", "TEST_COMPLETED_SUCCESSFULLY", {"DIALTONE_PRESENT"}},
        {0, "loopback", "PASSED", "TEST_COMPLETED_SUCCESSFULLY", {"LOOPBACK_TEST_NO_ERRORS_REPORTED"}},
        {0, "at", "PASSED", "TEST_COMPLETED_SUCCESSFULLY",
         {"CORRECT_AT_RESPONSE", "CORRECT_AT_RESPONSE", "CORRECT_AT_RESPONSE"}},
        {1, "dialtone", "UNUSUAL_STATUS", "NO_DIALTONE_WARNING", {"NO_DIALTONE"}},
        {1, "loopback", "FAILED", "LOOPBACK_TEST_ERRORS_REPORTED", {"LOOPBACK_TEST_ERRORS_REPORTED"}},
        {1, "at", "PASSED", "TEST_COMPLETED_SUCCESSFULLY",
         {"CORRECT_AT_RESPONSE", "CORRECT_AT_RESPONSE", "CORRECT_AT_RESPONSE"}},
    };
    for (std::size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i) {
        const auto& e = expected[i];
        const json& tests = document["devices"][static_cast<std::size_t>(e.device)]["tests"];
        ASSERT_EQ(3u, tests.size()) << e.device;
        const json& test = tests[i % 3];
        EXPECT_EQ(e.name, test["name"]) << i;
        EXPECT_EQ(e.verdict, test["verdict"]) << i;
        EXPECT_EQ(e.code, test["code"]) << i;
        EXPECT_EQ(e.events, eventCodes(test)) << i;
    }
    EXPECT_EQ("INFORMATION_EVENT", document["devices"][1]["tests"][0]["events"][0]["type"]);
    EXPECT_EQ("WARNING_EVENT", document["devices"][1]["tests"][0]["type"]);
    EXPECT_EQ("ERROR_EVENT", document["devices"][1]["tests"][1]["events"][0]["type"]);
    EXPECT_TRUE(document["devices"][2]["tests"].empty());

    // JUnit: one suite per modem; FAILED a failure, UNUSUAL_STATUS an
    // error, the modem without tty skipped.
    std::vector<XmlElement> tags = startTags(testsupport::readFile(junit));
    ASSERT_FALSE(tags.empty());
    EXPECT_EQ("testsuites", tags[0].name);
    EXPECT_EQ("9", tags[0].attributes["tests"]);
    EXPECT_EQ("1", tags[0].attributes["failures"]);
    EXPECT_EQ("1", tags[0].attributes["errors"]);
    EXPECT_EQ("3", tags[0].attributes["skipped"]);
    std::vector<std::string> outcome;
    for (const XmlElement& tag : tags) {
        if (tag.name == "testcase") {
            outcome.push_back(tag.attributes.at("classname") + "." + tag.attributes.at("name"));
        } else if (!outcome.empty() && (tag.name == "failure" || tag.name == "error" || tag.name == "skipped")) {
            outcome.back() += ":" + tag.name;
        }
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
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    host.signal(SIGINT);
    const Finished run = host.finish();

    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_TRUE(contains(run.err, "Ctrl-C")) << run.err;
    const json document = parse(run);
    ASSERT_EQ(1u, document["devices"].size());
    const json& tests = document["devices"][0]["tests"];
    ASSERT_EQ(1u, tests.size()) << "the AT command test must not start";
    EXPECT_EQ("PASSED", tests[0]["verdict"]);
    EXPECT_EQ("TEST_ABORTED", tests[0]["code"]);
    EXPECT_LT(tests[0]["progress"].get<int>(), 100);
    EXPECT_TRUE(tests[0]["events"].empty());
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
    const Finished run = host.finish();

    EXPECT_EQ(130, run.status) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "stopping now")) << run.out;
    EXPECT_TRUE(contains(run.out, "Log files")) << run.out;
    // Only the kept log folder is left; the simulated root is gone.
    const std::vector<std::string> left = folderEntries(tmp());
    ASSERT_EQ(1u, left.size()) << run.out;
    EXPECT_EQ(0u, left[0].rfind("diaghost-simulate-", 0)) << left[0];
    EXPECT_FALSE(testsupport::readFile(tmp() + "/" + left[0] + "/log/TSYmodemDeviceEnumerator.log").empty());
}
