// The metrics file: label escaping, one outcome per test, promtool's verdict, atomic replacement.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "MetricsReport.h"
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
    return TestRecord{-1, name, verdict, code, QuarnDiags::Diag::INFORMATION_EVENT, 0, 1.5, {}};
}

// Two modems: one with a pass, an aborted loopback and a dial tone test
// that did not run; one whose texts hold every character that needs care.
std::vector<DeviceRecord> devices()
{
    DeviceRecord first;
    first.location = "0000:00:0d.0";
    first.tty = "/dev/ttySM0";
    first.status = "NORMAL";
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

std::vector<std::string> linesWith(const std::string& text, const std::string& part)
{
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(part) != std::string::npos) {
            found.push_back(line);
        }
    }
    return found;
}

}  // namespace

TEST(MetricsLabelValue, EscapesWhatTheFormatNeedsAndRepairsBrokenUtf8)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain /dev/ttySM0", "plain /dev/ttySM0"},
        {"a\\b", "a\\\\b"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"two\nlines", "two\\nlines"},
        {"tab\tand\rreturn", "tab\tand\rreturn"},         // allowed as they are
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x9e", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x9e"},
        {"\xff", "\xef\xbf\xbd"},                          // never a UTF-8 byte
        {"cut \xe2\x82", "cut \xef\xbf\xbd\xef\xbf\xbd"},  // sequence cut short
        {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},          // overlong "/"
        {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // surrogate
        {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},  // above U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, metricsLabelValue(c.in)) << c.in;
    }
}

TEST(MetricsReport, GivesEachTestExactlyItsOutcomeAndTheCodeByName)
{
    const std::string text = metricsReport(devices(), RunFacts{3, 1765000000}, manifest());

    EXPECT_EQ(1u, linesWith(text, "modemdiag_modems_found 3").size()) << text;
    EXPECT_EQ(1u, linesWith(text, "modemdiag_run_timestamp_seconds 1765000000").size()) << text;
    // Per test, one series per outcome and exactly one of them 1; an
    // aborted test is not a pass, a test that did not run says so.
    const struct {
        std::string test;
        std::string outcome;
    } cases[] = {{"\"at\"", "passed"}, {"\"loopback\"", "aborted"}, {"test=\"dialtone\"", "not-run"}};
    for (const auto& c : cases) {
        const auto series = linesWith(text, "modemdiag_test_outcome{modem=\"0\"");
        int ones = 0;
        int seen = 0;
        for (const std::string& line : series) {
            if (line.find(c.test) == std::string::npos) {
                continue;
            }
            ++seen;
            if (line.substr(line.size() - 2) == " 1") {
                ++ones;
                EXPECT_NE(std::string::npos, line.find("outcome=\"" + c.outcome + "\"")) << line;
            }
        }
        EXPECT_EQ(5, seen) << c.test;
        EXPECT_EQ(1, ones) << c.test;
    }
    EXPECT_EQ(1u, linesWith(text, "test=\"loopback\",code=\"TEST_ABORTED\"} 1").size()) << text;
    EXPECT_EQ(1u, linesWith(text, "test=\"dialtone\",code=\"NO_DIALTONE\"} 101").size()) << text;
    // A test that did not run has no code, duration or time.
    EXPECT_EQ(1u, linesWith(text, "test=\"dialtone\",code=").size()) << text;
    EXPECT_EQ(3u, linesWith(text, "modemdiag_test_duration_seconds{").size()) << text;
    EXPECT_EQ(3u, linesWith(text, "} 1765000000").size()) << text;
    // Hostile texts stay inside their label, on the series' own line.
    const auto second = linesWith(text, "{modem=\"1\"");
    EXPECT_EQ(9u, second.size()) << text;
    for (const std::string& line : second) {
        EXPECT_NE(std::string::npos, line.find("location=\"bus \\\"2\\\"\\\\\\nslot\"")) << line;
    }
    EXPECT_EQ(1u, linesWith(text, "firmware=\"V1.2\x1b]0;pwned\x07\xef\xbf\xbd\"} 1").size()) << text;
}

TEST(MetricsReport, PassesPromtool)
{
    ASSERT_EQ(std::string::npos, std::string(PROMTOOL).find("NOTFOUND")) << "install promtool (package prometheus)";
    testsupport::TempDir dir;
    const std::string file = dir.file("modemdiag.prom");
    for (const std::vector<DeviceRecord>& run : {devices(), std::vector<DeviceRecord>{}}) {
        testsupport::writeFile(file, metricsReport(run, RunFacts{run.size(), 1765000000}, manifest()));
        int status = -1;
        const std::string out = testsupport::runCommand("'" PROMTOOL "' check metrics < '" + file + "' 2>&1", &status);
        EXPECT_EQ(0, status) << out << testsupport::readFile(file);
        EXPECT_EQ("", out) << testsupport::readFile(file);
    }
}

TEST(MetricsFile, IsReplacedInOneStepAndReadableByTheCollector)
{
    testsupport::TempDir dir;
    const std::string file = dir.file("modemdiag.prom");
    const std::string reader = dir.file("reader-link");
    std::string error;
    ASSERT_TRUE(writeFileAtomically(file, "old\n", error)) << error;
    // A hard link stands for a reader that opened the old file: a
    // replacement by rename leaves it the old content, a rewrite in place
    // would change it under the reader.
    ASSERT_EQ(0, ::link(file.c_str(), reader.c_str()));
    ::umask(0077);
    ASSERT_TRUE(writeFileAtomically(file, "new\n", error)) << error;
    ::umask(0022);
    EXPECT_EQ("new\n", testsupport::readFile(file));
    EXPECT_EQ("old\n", testsupport::readFile(reader));
    struct stat info {};
    ASSERT_EQ(0, ::stat(file.c_str(), &info));
    EXPECT_EQ(0644u, info.st_mode & 07777u);

    // Nothing else is left in the folder: no temporary file.
    EXPECT_EQ("modemdiag.prom\nreader-link\n", testsupport::runCommand("ls -A '" + dir.path() + "'"));
}

TEST(MetricsFile, FailureSaysWhyAndLeavesNothing)
{
    testsupport::TempDir dir;
    const struct {
        std::string path;
        std::string says;
    } cases[] = {
        {dir.file("missing/modemdiag.prom"), "cannot create a file in " + dir.file("missing")},
        {dir.path() + "/", "names a folder"},
        {dir.path(), "cannot write " + dir.path()},  // rename over a folder
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(writeFileAtomically(c.path, "x\n", error)) << c.path;
        EXPECT_NE(std::string::npos, error.find(c.says)) << error;
    }
    EXPECT_EQ("", testsupport::runCommand("ls -A '" + dir.path() + "'"));
}
