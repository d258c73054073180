// diaghost's run machinery: the plug-in's objects in the order it expects, and modems tested in parallel.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "HostProcess.h"
#include "TestSupport.h"

using nlohmann::json;

namespace {

// The build tree's package folder, beside diaghost's bin folder.
std::string buildPackageDir()
{
    const std::string program = DIAGHOST_PATH;
    const std::string bin = program.substr(0, program.rfind('/'));
    return bin.substr(0, bin.rfind('/')) + "/package/modem";
}

}  // namespace

// Without a log folder beside the package the enumerator moves the logs
// into the package folder; the diagnostic must be made after that to
// follow it, so both logs (their dated banners at least) land there, and
// diaghost says so.
TEST(PluginObjects, AMissingLogFolderPutsBothLogsInThePackageFolder)
{
    testsupport::TempDir dir;
    testsupport::runCommand("mkdir -p '" + dir.file("pkg/modem") + "' '" + dir.file("root") + "' && cp '" +
                            buildPackageDir() + "/pkg.cfg' '" + buildPackageDir() + "/libTSYmodemDiag.so' '" +
                            dir.file("pkg/modem") + "'");
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

namespace {

// The JSON report, flattened, without what differs from run to run (times, durations).
json stable(const json& report)
{
    json flat = report.flatten();
    const std::regex varying("time|duration|start|/seconds(/|$)");
    for (auto item = flat.begin(); item != flat.end();) {
        item = std::regex_search(item.key(), varying) ? flat.erase(item) : std::next(item);
    }
    return flat;
}

// "modem test: VERDICT CODE" for each test run.
std::vector<std::string> verdicts(const json& report)
{
    std::vector<std::string> lines;
    for (const json& device : report.value("devices", json::array())) {
        for (const json& test : device.value("tests", json::array())) {
            lines.push_back(device.at("index").dump() + " " + test.at("name").get<std::string>() + ": " +
                            test.at("verdict").get<std::string>() + " " + test.at("code").get<std::string>());
        }
    }
    return lines;
}

// The JUnit report without its times.
std::string stableXml(const std::string& xml)
{
    return std::regex_replace(xml, std::regex(R"( (time|timestamp)="[^"]*")"), "");
}

class Jobs : public ::testing::Test {
protected:
    testsupport::TempDir tmp;
    const std::vector<std::string> env = {"TMPDIR=" + tmp.path()};
};

}  // namespace

// Modems tested in parallel processes give the same report, in modem order,
// as one after another; both runs go at once so the case costs one run.
TEST_F(Jobs, ParallelRunReportsLikeASequentialOne)
{
    hosttest::RunningHost sequential({"--simulate", "run", "--json", "--junit", tmp.file("one.xml")}, env);
    hosttest::RunningHost parallel({"--simulate", "run", "--jobs", "3", "--json", "--junit", tmp.file("three.xml")},
                                   env);
    const hosttest::Finished one = sequential.finish();
    const hosttest::Finished three = parallel.finish();
    EXPECT_EQ(2, one.status) << one.err;
    EXPECT_EQ(one.status, three.status) << three.err;
    const json first = json::parse(one.out, nullptr, false);
    const json merged = json::parse(three.out, nullptr, false);
    ASSERT_TRUE(merged.is_object()) << three.out << three.err;
    EXPECT_EQ(6u, verdicts(merged).size());
    EXPECT_EQ(stable(first).dump(2), stable(merged).dump(2));
    EXPECT_EQ(stableXml(testsupport::readFile(tmp.file("one.xml"))),
              stableXml(testsupport::readFile(tmp.file("three.xml"))));
    // The children's logs land in the parent's one log folder.
    EXPECT_NE(std::string::npos, three.err.find("Log files (kept after the simulated machine is gone):"));
}

// Ctrl-C reaches every running child, once, whether it was sent to diaghost
// alone or, as a terminal does, to its whole process group: each modem's
// loopback test is aborted and none is stopped as by a second Ctrl-C.
TEST_F(Jobs, CtrlCReachesEveryChildOnce)
{
    for (const bool wholeGroup : {false, true}) {
        // setsid gives diaghost a process group of its own, as a shell does.
        hosttest::RunningHost running({DIAGHOST_PATH, "--simulate", "run", "--jobs", "2", "--test", "loopback", "--json"},
                                      env, "/usr/bin/setsid");
        ASSERT_TRUE(running.waitFor("loopback: started", 20000)) << wholeGroup;
        sleep(1);  // inside the three-second self tests of both modems
        kill(wholeGroup ? -running.pid() : running.pid(), SIGINT);
        const hosttest::Finished done = running.finish();
        EXPECT_EQ(1, done.status) << wholeGroup << done.err;
        EXPECT_EQ((std::vector<std::string>{"0 loopback: PASSED TEST_ABORTED", "1 loopback: PASSED TEST_ABORTED"}),
                  verdicts(json::parse(done.out, nullptr, false)))
            << wholeGroup << done.out << done.err;
        EXPECT_EQ(std::string::npos, done.err.find("Ctrl-C again:")) << wholeGroup << done.err;
    }
}
