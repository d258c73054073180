// The metrics file against its golden file and promtool.
#include <gtest/gtest.h>

#include "Reports.h"
#include "TestSupport.h"

using namespace diaghost;

namespace {

PackageConfig manifest()
{
    PackageConfig config;
    std::string error;
    EXPECT_TRUE(parsePackageConfig("[package]\nlibrary = libTSYmodemDiag.so\n"
                                   "[messages]\n0 = TEST_COMPLETED_SUCCESSFULLY: fine\n"
                                   "1 = TEST_ABORTED: stopped\n"
                                   "101 = NO_DIALTONE: no dial tone\n",
                                   config, error))
        << error;
    return config;
}

TestRecord test(const std::string& name, QuarnDiags::Diag::TestResult verdict, QuarnDiags::Uint code)
{
    return TestRecord{-1, name, verdict, code, QuarnDiags::Diag::INFORMATION_EVENT, 0, 1.5, {}, {}};
}

// Two modems: one with a pass, an aborted loopback and a dial tone test
// that did not run; one whose texts hold every character that needs care
// (quote, backslash, line feed, controls, a byte that is not UTF-8).
std::vector<DeviceRecord> devices()
{
    DeviceRecord first;
    first.location = "0000:00:0d.0";
    first.tty = "/dev/ttySM0";
    first.status = "NORMAL";
    first.slot = 4;
    first.slotSource = diaghost::SlotSource::Firmware;
    first.tests = {test("at", QuarnDiags::Diag::PASSED, 0), test("loopback", QuarnDiags::Diag::PASSED, QuarnDiags::Diag::TEST_ABORTED)};
    first.skipped = {SkippedTest{"dialtone", "halted"}};
    DeviceRecord second;
    second.index = 1;
    second.location = "bus \"2\"\\\nslot";
    second.status = "NORMAL";
    second.fru.firmwareRevision = "V1.2\x1b]0;pwned\x07\xff";
    second.tests = {test("dialtone", QuarnDiags::Diag::UNUSUAL_STATUS, 101)};
    return {first, second};
}

}  // namespace

// Per test, one series per outcome with exactly the one it had at 1 (an
// aborted test is not a pass, a test that did not run says so, and has no
// code, duration or time); codes by name; hostile texts kept inside their
// label on the series' own line. Both runs pass promtool.
TEST(MetricsReport, MatchesTheGoldenAndPassesPromtool)
{
    ASSERT_EQ(std::string::npos, std::string(PROMTOOL).find("NOTFOUND")) << "install promtool (package prometheus)";
    const std::string text = metricsReport(devices(), 3, 1765000000, manifest());
    EXPECT_EQ(testsupport::readFile(PACKAGE_GOLDEN_DIR "/two_modems.prom"), text);
    testsupport::TempDir dir;
    const std::string file = dir.file("modemdiag.prom");
    for (const std::string& run : {text, metricsReport({}, 0, 1765000000, manifest())}) {
        testsupport::writeFile(file, run);
        int status = -1;
        EXPECT_EQ("", testsupport::runCommand("'" PROMTOOL "' check metrics < '" + file + "' 2>&1", &status)) << run;
        EXPECT_EQ(0, status);
    }
}
