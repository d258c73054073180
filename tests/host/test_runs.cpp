// diaghost against simulated machines: lists, verdicts, exit statuses, reports, Ctrl-C, the terminal, log folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include "HostProcess.h"
#include "TestSupport.h"

using hosttest::Finished;
using nlohmann::json;

namespace {

// "modem test: VERDICT CODE event..." for each test run.
std::vector<std::string> summary(const Finished& run)
{
    const json document = json::parse(run.out, nullptr, false);
    EXPECT_TRUE(document.is_object()) << "not one JSON document:\n" << run.out << "\nstderr:\n" << run.err;
    std::vector<std::string> lines;
    for (const json& device : document.is_object() ? document.at("devices") : json::array()) {
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

// The JSON report without what differs from run to run: times, durations,
// the tool's version, the machine that ran it (but whether it was simulated).
json stable(json report)
{
    report.erase("started");
    report.erase("finished");
    report["tool"].erase("version");
    for (const char* key : {"hostname", "kernel", "kernel_version", "architecture"}) {
        report["machine"].erase(key);
    }
    for (json& device : report["devices"]) {
        if (device.contains("tests")) {  // list gives none
            for (json& test : device["tests"]) {
                test.erase("duration_ms");
            }
        }
    }
    return report;
}

// The JUnit report without its times.
std::string stableXml(const std::string& xml)
{
    return std::regex_replace(xml, std::regex(R"( (time|timestamp)="[^"]*")"), "");
}

const char* const kLogNames = "TSYmodemDeviceEnumerator.log\nTSYmodemDiagnostic.log\n";

// Each run gets a TMPDIR and a state folder of its own: whatever way a
// simulated run ends, it leaves nothing in the one but the reports asked
// for, and in the other the last run's logs.
class HostRun : public ::testing::Test {
protected:
    Finished run(const std::vector<std::string>& args) const { return hosttest::runHost(args, env); }
    std::string leftInTmp() const { return testsupport::runCommand("ls -A '" + tmp.path() + "' | grep -v '\\.xml$'"); }
    std::string storedLogs() const { return testsupport::runCommand("ls -A '" + logs + "'"); }
    std::string diagnosticLog() const { return testsupport::readFile(logs + "/TSYmodemDiagnostic.log"); }

    testsupport::TempDir tmp;
    testsupport::TempDir state;
    const std::string logs = state.file("diaghost/simulate");
    const std::vector<std::string> env = {"TMPDIR=" + tmp.path(), "XDG_STATE_HOME=" + state.path()};
};

}  // namespace

// Quick runs of the AT command test, each with its exit status
// and a part of its screen (on stderr beside the JSON).
TEST_F(HostRun, ListsModemsAndExitsWithTheWorstVerdict)
{
    const std::string incorrect = "0 at: FAILED INCORRECT_AT_RESPONSE_ERROR ";
    const std::string passed = " at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE "
                               "CORRECT_AT_RESPONSE";
    const std::string looked = "No modem found. Looked for PCI functions with vendor:device e7a5:0418 in "
                               ".*/proc/bus/pci, and the ttys .*/dev/ttySM0 upward of the driver TSYSM.\n";
    const auto on = [](const std::string& device) {
        return std::vector<std::string>{"--simulate", "run", "--test", "at", "--device", device};
    };
    const struct {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> lines;
        std::string shown;  // a regular expression
    } cases[] = {
        // With no modem, list and run say what they looked for; the run keeps
        // its logs and writes a JUnit report that fails the CI job.
        {{"--simulate=none", "list"}, 3, {}, looked},
        {{"--simulate=none", "run", "--junit", tmp.file("none.xml")}, 3, {},
         looked + "Log files \\(of the last simulated run\\):\n  /.*/diaghost/simulate/TSYmodemDeviceEnumerator.log\n"
                  "  /.*/diaghost/simulate/TSYmodemDiagnostic.log\n$"},
        // --device picks a modem by index, tty or PCI address (every spelling of an
        // address: fuzz_records).
        {on("1"), 0, {"1" + passed}, ""},
        {on("/dev/ttySM1"), 0, {"1" + passed}, ""},
        {on("ttySM0"), 0, {"0" + passed}, ""},
        {on("00:0a.0"), 0, {"1" + passed}, ""},
        // The modem without a tty, by its address: found, nothing to run;
        // so also on the whole machine, where the others pass.
        {on("02:04.0"), 1, {}, ""},
        {{"--simulate", "run", "--test", "at"}, 1, {"0" + passed, "1" + passed}, "1 modem not tested"},
        {on("00:1f.0"), 64, {}, "no modem 00:1f.0"},
        {on("/dev/ttySM7"), 64, {}, "no modem /dev/ttySM7"},
        // Another program holds the driver: every test finds it in use at once.
        {{"-v", "--simulate=busy", "run", "--test", "at"}, 1,
         {"0 at: UNUSUAL MODEMS_IN_USE MODEMS_IN_USE", "1 at: UNUSUAL MODEMS_IN_USE MODEMS_IN_USE"},
         "in use before the run began"},
        // -v shows the test's own log lines as the plug-in writes them (a
        // command's options also before it).
        {{"-v", "--simulate=at-errors", "run", "--test", "at"}, 2,
         {incorrect + "CORRECT_AT_RESPONSE INCORRECT_AT_RESPONSE_ERROR INCORRECT_AT_RESPONSE_ERROR"},
         "at: started \\(AT command acknowledgement, up to 7 s\\)\n(.*\n)*      \\| CheckATCommands: Started\n"
         "(.*\n)*      \\| CheckATCommands: Incorrect AT Command response received for command at\\+fclass=2.0\n"
         "(.*\n)*  at +FAILED"},
        // -q shows only the summary (and why nothing more ran).
        {{"-q", "--simulate=at-errors", "run", "--test", "at", "--halt-on-error"}, 2,
         {incorrect + "CORRECT_AT_RESPONSE INCORRECT_AT_RESPONSE_ERROR HALTED_ON_ERROR"},
         "^Halt on error: no further test starts after this failure.\n\nSummary\n  MODEM +TEST"},
        // Burn-in: the rounds in a row, one summary over them all; a halt on
        // error ends the rounds too. --color=always colours even into a pipe.
        {{"--color=always", "--simulate=healthy", "run", "--test", "at", "--repeat", "3"}, 0,
         {"0" + passed, "0" + passed, "0" + passed},
         "Round 3 of 3(.*\n)*  0 ttySM0 +3 +at +\033\\[32mPASSED\033\\[0m(.*\n)*"
         "Result of 3 rounds: 3 passed, 0 unusual, 0 failed, 0 aborted, 0 not run\n"},
        {{"--simulate=at-errors", "run", "--test", "at", "--halt-on-error", "--repeat", "3"}, 2,
         {incorrect + "CORRECT_AT_RESPONSE INCORRECT_AT_RESPONSE_ERROR HALTED_ON_ERROR"},
         "Result of 1 of 3 rounds: 0 passed, 0 unusual, 1 failed"},
        // Off a terminal a long test says it is still running every 5 s.
        {{"--simulate=silent", "run", "--test", "at"}, 2,
         {incorrect + "INCORRECT_AT_RESPONSE_ERROR INCORRECT_AT_RESPONSE_ERROR INCORRECT_AT_RESPONSE_ERROR"},
         "at: running, [5-6]\\.[0-9] s of up to 7 s(.*\n)*"
         // The legend gives each code under the outcome it came with.
         "  FAILED: the modem answered wrongly or not at all: [^\n]*\n"
         "    INCORRECT_AT_RESPONSE_ERROR: The modem did not acknowledge"},
    };
    testsupport::runCommand("mkdir -p '" + logs + "'");
    for (const auto& c : cases) {
        for (const char* name : {"TSYmodemDeviceEnumerator.log", "TSYmodemDiagnostic.log"}) {
            testsupport::writeFile(logs + "/" + name, "previous\n");
        }
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        const Finished done = run(args);
        const std::string what = ::testing::PrintToString(c.args);
        // Passed or failed, nothing left in TMPDIR; a run that got under way
        // replaced the last one's logs with its own whole, list and a usage
        // error left them.
        EXPECT_EQ("", leftInTmp()) << what;
        EXPECT_EQ(kLogNames, storedLogs()) << what;
        const std::string log = diagnosticLog();
        if (std::count(c.args.begin(), c.args.end(), "run") != 0 && c.status != 64) {
            EXPECT_EQ(0u, log.find("\n******************** ")) << what << "\n" << log;
            EXPECT_EQ(!c.lines.empty(), log.find("ModemATCommandTest::run()") != std::string::npos) << what << log;
        } else {
            EXPECT_EQ("previous\n", log) << what;
        }
        EXPECT_EQ(c.status, done.status) << what << "\n" << done.err;
        if (c.status != 64) {  // a usage error prints no JSON
            EXPECT_EQ(c.lines, summary(done)) << what;
            // The run's document gives the exit status diaghost ends with.
            if (c.args[1] != "list") {
                EXPECT_EQ(c.status, json::parse(done.out).at("summary").at("exit_status")) << what;
            }
        }
        EXPECT_TRUE(std::regex_search(done.err, std::regex(c.shown))) << what << "\n" << done.err;
    }
    const std::string xml = testsupport::readFile(tmp.file("none.xml"));
    EXPECT_TRUE(std::regex_search(xml, std::regex("<testsuites [^>]*tests=\"1\" failures=\"0\" errors=\"1\"[^]*"
                                                  "<error message=\"No modem found. Looked for PCI functions")))
        << xml;
}

// The logs go to $XDG_STATE_HOME, else (unset or relative) to
// $HOME/.local/state, folders made as needed. Where they cannot go (the
// folder cannot be made, no HOME) the run says so in one line and they go
// with the machine; the run's exit status and JSON document stay its own.
TEST_F(HostRun, LogsGoToTheStateFolderOrWithTheMachine)
{
    testsupport::writeFile(state.file("file"), "");
    const std::string home = state.file("home");
    const std::string stored = home + "/.local/state/diaghost/simulate/";
    const std::string lost = "\ndiaghost: cannot keep the simulated run's log files ";
    const struct {
        std::vector<std::string> env;
        std::string said;
    } cases[] = {
        {{"XDG_STATE_HOME=state", "HOME=" + home},
         "Log files (of the last simulated run):\n  " + stored + "TSYmodemDeviceEnumerator.log\n  " + stored +
             "TSYmodemDiagnostic.log\n"},
        {{"XDG_STATE_HOME=" + state.file("file")},
         lost + "in " + state.file("file") + "/diaghost/simulate (cannot make " + state.file("file") +
             "/diaghost: Not a directory); they are removed with the simulated machine\n"},
        {{"XDG_STATE_HOME=", "HOME="}, lost + "(neither XDG_STATE_HOME nor HOME is set); they are removed with the "
                                              "simulated machine\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> environment = env;
        environment.insert(environment.end(), c.env.begin(), c.env.end());
        const Finished done = hosttest::runHost({"--simulate=at-errors", "run", "--test", "at", "--json"}, environment);
        const std::string what = ::testing::PrintToString(c.env);
        EXPECT_EQ(2, done.status) << what << done.err;
        const json document = json::parse(done.out, nullptr, false);
        ASSERT_TRUE(document.contains("summary")) << what << done.out;
        EXPECT_EQ(2, document.at("summary").at("exit_status")) << what << done.out;
        EXPECT_NE(std::string::npos, done.err.find(c.said)) << what << "\n" << done.err;
        EXPECT_EQ("", leftInTmp()) << what;
    }
    EXPECT_EQ(kLogNames, testsupport::runCommand("ls -A '" + stored + "'"));
}

// The demo: every modem listed; every test on every modem, every kind of
// verdict, in the JSON and the JUnit report (FAILED a failure,
// UNUSUAL_STATUS an error, the modem without tty skipped), with the
// simulated driver counting its open ttys as the kernel does.
TEST_F(HostRun, DemoRunGivesEveryVerdictInJsonAndJunit)
{
    const Finished done = run({"--simulate", "run", "--json", "--junit", tmp.file("one.xml")});
    EXPECT_EQ(2, done.status) << done.err;
    const json document = json::parse(done.out, nullptr, false);
    ASSERT_TRUE(document.is_object()) << done.out << done.err;
    EXPECT_EQ(testsupport::readFile(HOST_GOLDEN_DIR "/demo.json"), stable(document).dump(2) + "\n");
    EXPECT_EQ(testsupport::readFile(HOST_GOLDEN_DIR "/demo.xml"), stableXml(testsupport::readFile(tmp.file("one.xml"))));
    EXPECT_TRUE(std::regex_match(document.at("started").get_ref<const std::string&>(),
                                 std::regex("20\\d\\d-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ")));
    EXPECT_GT(document.at("devices").at(0).at("tests").at(0).at("duration_ms"), 100);
    // list gives the same modems, the one without a tty included.
    const Finished listed = run({"--json", "--simulate", "list"});
    EXPECT_EQ(0, listed.status) << listed.err;
    EXPECT_EQ(testsupport::readFile(HOST_GOLDEN_DIR "/list.json"), stable(json::parse(listed.out)).dump(2) + "\n");
}

// Where the plug-in finds no slot (a 64-bit kernel's /proc/kcore has no
// firmware area), diaghost finds it and says where: the firmware's table
// through dev/mem, else the kernel's slot records; list marks it and says
// what the mark means. (The JSON's slot_source: list.json for kcore, the
// vm tier's 40-slots and 50-dialout for the firmware and the records.)
TEST_F(HostRun, EverySlotSaysWhereItCameFrom)
{
    const struct {
        const char* machine;
        const char* firstRow;  // a regular expression
        const char* note;
    } cases[] = {
        {"demo", "0 +00:09.0 .* 1 +3.5.22", ""},
        {"amd64", "0 +00:09.0 .* 1\\* +3.5.22", "* slot from the firmware's table, read through /dev/mem"},
        {"sysfs", "0 +00:09.0 .* 1\\+ +3.5.22", "+ slot from the kernel's record in /sys/bus/pci/slots"},
    };
    for (const auto& c : cases) {
        const Finished listed = run({std::string("--simulate=") + c.machine, "list"});
        EXPECT_EQ(0, listed.status) << listed.err;
        EXPECT_TRUE(std::regex_search(listed.out, std::regex(c.firstRow))) << c.machine << "\n" << listed.out;
        EXPECT_NE(std::string::npos, listed.out.find(c.note)) << c.machine << "\n" << listed.out;
    }
}

// One Ctrl-C, sent as a terminal sends it to diaghost's whole process
// group, aborts the loopback test and starts no other, neither the next test
// of its modem nor the other modems. The raw result stays in the JSON; every
// output calls it aborted, and the tests that did not start are skipped with
// their reason. A second Ctrl-C stops diaghost at once, as SIGTERM and
// SIGHUP do. Every way out stores the run's logs, in place of the last
// run's, and leaves nothing in TMPDIR.
TEST_F(HostRun, CtrlCAbortsTheRunningTestsOnceAndASecondStopsAtOnce)
{
    // setsid gives diaghost a process group of its own, as a shell does.
    hosttest::RunningHost running({DIAGHOST_PATH, "--simulate", "run", "--test", "loopback", "--test", "at", "--json",
                                   "--junit", tmp.file("r.xml")},
                                  env, "/usr/bin/setsid");
    ASSERT_TRUE(running.waitFor("loopback: started", 20000));
    sleep(1);  // inside the three-second self tests
    kill(-running.pid(), SIGINT);
    const Finished aborted = running.finish();
    EXPECT_EQ(1, aborted.status) << aborted.err;
    EXPECT_EQ(std::vector<std::string>{"0 loopback: ABORTED TEST_ABORTED"}, summary(aborted));
    const json document = json::parse(aborted.out, nullptr, false);
    EXPECT_EQ("aborted", document.at("devices").at(0).at("tests").at(0).at("outcome")) << aborted.out;
    EXPECT_EQ(true, document.at("interrupted"));
    EXPECT_TRUE(std::regex_search(aborted.err, std::regex("\n  0 ttySM0 +loopback +ABORTED +TEST_ABORTED"))) << aborted.err;
    // Every selected test has its row, the one that never started too, and
    // the text counts what the document counts.
    EXPECT_TRUE(std::regex_search(aborted.err, std::regex("\n  0 ttySM0 +at +NOT RUN +not started: the run was interrupted")))
        << aborted.err;
    EXPECT_NE(std::string::npos,
              aborted.err.find("Result: 0 passed, 0 unusual, 0 failed, 1 aborted, 5 not run; 2 modems not tested"))
        << aborted.err;
    EXPECT_EQ(5, document.at("summary").at("outcomes").at("not-run"));
    EXPECT_EQ(std::string::npos, aborted.err.find("Ctrl-C again:")) << aborted.err;
    // Skipped: the aborted test and the five that did not start.
    const std::string xml = testsupport::readFile(tmp.file("r.xml"));
    EXPECT_TRUE(std::regex_search(xml, std::regex("<testcase name=\"loopback\"[^>]*>\\s*<skipped message=\"TEST_ABORTED: ")))
        << xml;
    EXPECT_TRUE(std::regex_search(xml, std::regex("<testcase name=\"at\"[^>]*>\\s*<skipped message=\"not started"))) << xml;
    EXPECT_NE(std::string::npos, xml.find("failures=\"0\" errors=\"0\" skipped=\"6\"")) << xml;
    EXPECT_EQ("", leftInTmp());
    EXPECT_EQ(kLogNames, storedLogs());
    EXPECT_NE(std::string::npos, diagnosticLog().find("ModemLoopbackTest::run() [/dev/ttySM0]")) << diagnosticLog();
    struct stat made {};
    ASSERT_EQ(0, stat(state.file("diaghost").c_str(), &made));
    EXPECT_EQ(0700u, made.st_mode & 07777);

    // The dial tone test does not react to an abort: a second Ctrl-C ends
    // diaghost at once; the other signals need no first. A silent modem
    // keeps each test busy for seconds, so the signals land inside it even
    // on a loaded machine. Each run's log holds its own test only.
    const struct {
        const char* test;
        std::vector<int> signals;
        const char* logged;
    } stops[] = {
        {"dialtone", {SIGINT, SIGINT}, "ModemDialtoneDetectionTest::run()"},
        {"at", {SIGTERM}, "ModemATCommandTest::run()"},
        {"loopback", {SIGHUP}, "ModemLoopbackTest::run()"},
    };
    std::string before = "ModemLoopbackTest::run()";
    for (const auto& stop : stops) {
        hosttest::RunningHost testing({"--simulate=silent", "run", "--test", stop.test}, env);
        ASSERT_TRUE(testing.waitFor(std::string(stop.test) + ": started", 20000)) << stop.test;
        sleep(1);  // the test is under way, not about to start
        for (std::size_t i = 0; i < stop.signals.size(); ++i) {
            if (i > 0) {
                ASSERT_TRUE(testing.waitFor("Ctrl-C: asked the running test to stop", 5000));
            }
            kill(testing.pid(), stop.signals[i]);
        }
        const Finished stopped = testing.finish();
        EXPECT_EQ(128 + stop.signals.back(), stopped.status) << stop.test << stopped.out << stopped.err;
        EXPECT_NE(std::string::npos, stopped.out.find("Log files (of the last simulated run):")) << stopped.out;
        EXPECT_EQ("", leftInTmp()) << stop.test;
        EXPECT_EQ(kLogNames, storedLogs()) << stop.test;
        const std::string log = diagnosticLog();
        EXPECT_NE(std::string::npos, log.find(stop.logged)) << stop.test << "\n" << log;
        EXPECT_EQ(std::string::npos, log.find(before)) << stop.test << "\n" << log;
        before = stop.logged;
    }
}

// A search for modems held up by silent ones (three 1 s waits each) ends
// at once on Ctrl-C, SIGTERM or SIGHUP: the notice where the list would
// have gone and nothing else, 128 + the signal, and a simulated machine
// goes with the program, leaving nothing in TMPDIR.
TEST_F(HostRun, ASignalEndsASearchHeldUpBySilentModems)
{
    testsupport::TempDir machine;
    const std::string root = machine.file("root");
    hosttest::RunningHost modems({"--modems", "2", "--profile", "silent", "--root", root}, {}, MODEMSIM_PATH);
    ASSERT_TRUE(modems.waitFor("MODEMDIAG_SYSROOT=", 10000));
    const std::string interrupted = "Ctrl-C: stopping the search for modems.\n";
    const struct {
        std::vector<std::string> args;
        int signal;
        std::string out;
        std::string err;
    } cases[] = {
        {{"--sysroot", root, "list"}, SIGINT, interrupted, ""},
        {{"--sysroot", root, "list", "--json"}, SIGTERM, "", "Stopping.\n"},
        {{"-v", "--sysroot", root, "list"}, SIGHUP, "Stopping.\n", ""},
        {{"--simulate=silent", "list"}, SIGINT, interrupted, ""},
    };
    for (const auto& c : cases) {
        hosttest::RunningHost listing(c.args, env);
        sleep(1);  // inside the first silent modem's waits
        kill(listing.pid(), c.signal);
        const Finished stopped = listing.finish();
        const std::string what = ::testing::PrintToString(c.args);
        EXPECT_EQ(128 + c.signal, stopped.status) << what << stopped.out << stopped.err;
        EXPECT_EQ(c.out, stopped.out) << what;
        EXPECT_EQ(c.err, stopped.err) << what;
        EXPECT_EQ("", leftInTmp()) << what;
    }
}

// Fitted to the window: no row wider than the terminal, no copy of a
// progress line left behind by its redraws, the summary and the meanings
// whole or shortened with an ellipsis, the limit of each test shown, the
// progress bar at 100 % and the cursor shown again at the end.
TEST_F(HostRun, OutputFitsTheTerminal)
{
    std::vector<std::string> terminal = env;
    terminal.insert(terminal.end(), {"TERM=xterm", "LANG=C.UTF-8"});
    hosttest::RunningHost narrow({"--simulate", "run", "--test", "loopback", "--test", "at"}, terminal, DIAGHOST_PATH,
                                 50);
    // The terminal's echo of a Ctrl-C typed while the live line is shown.
    hosttest::RunningHost stopped({"--color=never", "--simulate=healthy", "run", "--test", "loopback"}, terminal,
                                  DIAGHOST_PATH, 80);
    ASSERT_TRUE(stopped.waitFor("of up to 23 s", 20000));
    sleep(1);
    stopped.type("\x03");
    // The screen of a run shown in the given width: no row wider but one
    // that is a single word (a path, whole to be copied), and no stale
    // progress line.
    const auto screenOf = [](const Finished& shown, std::size_t width) {
        const hosttest::Screen screen = hosttest::showOnTerminal(shown.out);
        std::istringstream lines(screen.text);
        for (std::string line; std::getline(lines, line);) {
            if (line.size() > width) {
                EXPECT_TRUE(std::regex_match(line, std::regex(" *[^ ]+"))) << line;
            }
        }
        EXPECT_FALSE(std::regex_search(screen.text, std::regex("\\[[#.]"))) << "stale progress line:\n" << screen.text;
        return screen.text;
    };
    const std::string afterCtrlC = screenOf(stopped.finish(), 80);
    EXPECT_NE(std::string::npos, afterCtrlC.find("\n  loopback  ABORTED")) << afterCtrlC;
    EXPECT_FALSE(std::regex_search(afterCtrlC, std::regex("\033\\[[0-9;]*m"))) << "--color=never coloured";

    const Finished shown = narrow.finish();
    EXPECT_EQ(2, shown.status) << shown.out;
    const std::string rows = screenOf(shown, 50);
    EXPECT_NE(std::string::npos, rows.find("Result: 3 passed, 0 unusual, 1 failed, 0 aborted")) << rows;
    // Too narrow for one line a row: the code goes whole to a second line.
    EXPECT_TRUE(std::regex_search(rows, std::regex("\n  1 ttySM1 +loopback +FAILED\n +LOOPBACK_TEST_ERRORS_REPORTED +100%")))
        << rows;
    EXPECT_TRUE(std::regex_search(rows, std::regex("\n  2 - +at +NOT RUN\n +no driver tty +- +-\n +\\(DRIVERS_NOT_INSTALLED\\)\n")))
        << rows;
    EXPECT_EQ(std::string::npos, rows.find("\u2026")) << "a cut text:\n" << rows;
    // One bar width for every test, and a finished test is done.
    std::set<std::size_t> bars;
    const std::regex bar("\\[[#.]+\\]");
    for (auto at = std::sregex_iterator(shown.out.begin(), shown.out.end(), bar); at != std::sregex_iterator(); ++at) {
        bars.insert(at->length());
    }
    EXPECT_EQ(1u, bars.size()) << shown.out;
    EXPECT_FALSE(std::regex_search(rows, std::regex("(PASSED|UNUSUAL|FAILED) .*  [0-9]{1,2}%"))) << rows;
    // The live line said how long the test may take.
    EXPECT_NE(std::string::npos, shown.out.find("of up to 23 s")) << shown.out;
    EXPECT_TRUE(std::regex_search(shown.out, std::regex("\\[#+\\] 100%"))) << shown.out;
    EXPECT_NE(std::string::npos, shown.out.find("\033[?25h")) << "cursor shown again";
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
        {{"-v", "list"}, true},
        {{"run", "--test", "at", "-v", "--junit", tmp.file("r.xml")}, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--sysroot", tmp.file("root")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Finished done = hosttest::runHost(args, {"TERM=xterm"}, DIAGHOST_PATH, c.onTerminal ? 200 : 0);
        const std::string what = ::testing::PrintToString(c.args);
        EXPECT_EQ(0, done.status) << what << done.out << done.err;
        const std::string text = std::regex_replace(done.out + done.err, ours, "");
        EXPECT_EQ(std::string::npos, text.find_first_of("\033\007")) << what << "\n" << text;
        EXPECT_NE(std::string::npos, text.find(escaped)) << what << "\n" << text;
        EXPECT_FALSE(std::regex_search(text, std::regex("(^|\n)FORGED"))) << what << "\n" << text;
    }
    const std::string listed = hosttest::runHost({"--sysroot", tmp.file("root"), "list", "--json"}).out;
    EXPECT_EQ("3.5\033]0;owned\a\033[2J\nFORGED 9.9",
              json::parse(listed).at("devices").at(0).at("fru").at("firmware_revision"));
    const std::string xml = testsupport::readFile(tmp.file("r.xml"));
    // The line feed as a reference: a literal one would read back as a blank.
    EXPECT_NE(std::string::npos, xml.find("value=\"3.5?]0;owned??[2J&#10;FORGED 9.9\"")) << xml;
}

// Without a log folder beside the package the enumerator moves the logs
// into the package folder; the diagnostic must be made after that to
// follow it, so both logs (their dated banners at least) land there, and
// diaghost says so.
TEST(PluginObjects, AMissingLogFolderPutsBothLogsInThePackageFolder)
{
    testsupport::TempDir dir;
    // The build tree's package folder is beside diaghost's bin folder.
    const std::string program = DIAGHOST_PATH;
    const std::string built = program.substr(0, program.rfind('/')) + "/../package/modem/";
    testsupport::runCommand("mkdir -p '" + dir.file("pkg/modem") + "' '" + dir.file("root") + "' && cp '" + built +
                            "pkg.cfg' '" + built + "libTSYmodemDiag.so' '" + dir.file("pkg/modem") + "'");
    for (const std::string command : {"info", "run"}) {
        const hosttest::Finished done = hosttest::runHost(
            {"--package", dir.file("pkg/modem/pkg.cfg"), "--sysroot", dir.file("root"), command}, {});
        for (const char* log : {"TSYmodemDeviceEnumerator.log", "TSYmodemDiagnostic.log"}) {
            const std::string path = dir.file("pkg/modem/") + log;
            EXPECT_NE(std::string::npos, testsupport::readFile(path).find("********************")) << command << " " << log;
            if (command == "run") {
                EXPECT_NE(std::string::npos, done.out.find("  " + path + "\n")) << done.out;
            }
        }
        testsupport::runCommand("rm -f '" + dir.file("pkg/modem/") + "'*.log");
    }
}

// A machine stood up by modemsim (a healthy modem on ttySM0, one whose
// loopback counts errors on ttySM1), its driver's use count following the
// ttys as the kernel's does, released the given delay after a last close.
class HostPorts : public HostRun {
protected:
    void standUp(int releaseDelayMs)
    {
        root = tmp.file("root-" + std::to_string(releaseDelayMs));
        modems = std::make_unique<hosttest::RunningHost>(
            std::vector<std::string>{"--modems", "2", "--profile", "healthy,nodialtone-loopback-errors", "--root", root,
                                     "--release-delay", std::to_string(releaseDelayMs)},
            std::vector<std::string>{}, MODEMSIM_PATH);
        ASSERT_TRUE(modems->waitFor("MODEMDIAG_SYSROOT=", 10000));
    }
    Finished runOn(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--sysroot", root});
        return run(args);
    }
    std::string lockFile(int n) const { return root + "/run/lock/LCK..ttySM" + std::to_string(n); }

    std::string root;
    std::unique_ptr<hosttest::RunningHost> modems;
};

// Each test first asks whether the driver is in use. The driver holds a
// closed port a moment longer (here 200 ms); the run waits that out before
// every test, and a run right after another waits before it starts, so the
// verdicts are those of a machine that releases at once.
TEST_F(HostPorts, BackToBackTestsWaitOutTheReleaseAndGiveTheVerdictsOfAnInstantRelease)
{
    standUp(0);
    const std::vector<std::string> args = {"run", "--test", "at", "--test", "loopback", "-v", "--json"};
    const Finished instant = runOn(args);
    ASSERT_EQ(2, instant.status) << instant.err;
    standUp(200);
    for (int round = 0; round < 2; ++round) {
        const Finished slow = runOn(args);
        EXPECT_EQ(2, slow.status) << slow.err;
        EXPECT_EQ(summary(instant), summary(slow)) << slow.err;
        EXPECT_EQ(std::string::npos, slow.err.find("MODEMS_IN_USE")) << slow.err;
        // Before a test, the port closed last (the search's or a test's).
        EXPECT_TRUE(std::regex_search(slow.err, std::regex("Waited \\d+ ms for the modem driver to release the "
                                                           "port closed last")))
            << slow.err;
    }
}

// Serial-port locks in a run (what each kind of lock comes to: HostFiles):
// a modem whose lock a live process holds is not tested and every output
// says by whom; diaghost holds the lock of the modem it tests and removes it
// when it ends, also when stopped by SIGTERM.
TEST_F(HostPorts, ALiveLockKeepsAModemUntestedAndDiaghostHoldsItsOwnWhileTesting)
{
    standUp(0);
    const std::string self = std::to_string(getpid());
    const std::string name = testsupport::runCommand("cat /proc/" + self + "/comm");
    const std::string holder = name.substr(0, name.find('\n'));
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", getpid());
    testsupport::writeFile(lockFile(0), text);

    const Finished locked = runOn({"run", "--test", "at", "--json", "--junit", tmp.file("l.xml"), "--metrics",
                                   tmp.file("l.prom")});
    EXPECT_EQ(1, locked.status) << locked.err;
    const std::string reason = "locked by PID " + self + " (" + holder + ")";
    EXPECT_EQ(std::vector<std::string>{"1 at: PASSED TEST_COMPLETED_SUCCESSFULLY CORRECT_AT_RESPONSE "
                                       "CORRECT_AT_RESPONSE CORRECT_AT_RESPONSE"},
              summary(locked));
    EXPECT_EQ(reason, json::parse(locked.out).at("devices").at(0).at("not_tested")) << locked.out;
    EXPECT_NE(std::string::npos, locked.err.find("not tested: " + reason)) << locked.err;
    EXPECT_NE(std::string::npos, testsupport::readFile(tmp.file("l.xml")).find("<skipped message=\"" + reason));
    EXPECT_NE(std::string::npos,
              testsupport::readFile(tmp.file("l.prom"))
                  .find("modemdiag_modem_locked{modem=\"0\",location=\"PCI Bus 0, Device 16, Function 0\",tty=\"/dev/ttySM0\",holder=\"" +
                        holder + "\"} 1\n"));

    // diaghost's own lock while it tests, gone after SIGTERM.
    hosttest::RunningHost testing({"--sysroot", root, "run", "--test", "loopback", "--device", "1"}, env);
    ASSERT_TRUE(testing.waitFor("loopback: started", 20000));
    std::snprintf(text, sizeof text, "%10d\n", testing.pid());
    EXPECT_EQ(text, testsupport::readFile(lockFile(1)));
    kill(testing.pid(), SIGTERM);
    EXPECT_EQ(128 + SIGTERM, testing.finish().status);
    EXPECT_NE(0, access(lockFile(1).c_str(), F_OK));
}
