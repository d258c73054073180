// diaghost's files: the plug-in's log followed and sorted by test, report files replaced in one step, the manual page.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "ExitStatus.h"
#include "LogTail.h"
#include "OutputFiles.h"
#include "PluginLog.h"
#include "TestSupport.h"

using Lines = std::vector<std::string>;

namespace {

Lines texts(const std::vector<diaghost::PluginLogLine>& lines)
{
    Lines shown;
    for (const diaghost::PluginLogLine& line : lines) {
        shown.push_back(line.text);
    }
    return shown;
}

}  // namespace

// A log missing at the start is read from its first line; a FIFO in its
// place is not opened, so nothing blocks. (What the follower gives after
// any writes, truncations and rotations is fuzz_log_tail's to check
// against its model.)
TEST(HostFiles, LogTailReadsALogMadeLaterAndNeverBlocks)
{
    testsupport::TempDir dir;
    diaghost::LogTail later(dir.file("later.log"));
    std::ofstream(dir.file("later.log"), std::ios::app) << "first\n";
    EXPECT_EQ(Lines{"first"}, later.newLines());
    ASSERT_EQ(0, mkfifo(dir.file("fifo.log").c_str(), 0600));
    EXPECT_EQ(Lines{}, diaghost::LogTail(dir.file("fifo.log")).newLines(true));
}

// A test's line loses what the screen shows above it (class and tty), an
// error line is marked, anything else stays whole. Lines wait for the modem
// they name (another program may test modem 1 into the same log); a line
// that names none goes with the modem under test; the next test's lines
// wait from the opening line of its run.
TEST(PluginLog, HandsEachTestItsOwnLinesShortened)
{
    const struct {
        std::string line;
        std::string shown;
        bool error;
    } kinds[] = {
        {"ModemDiag::ModemATCommandTest::CheckATCommands() [/dev/ttySM0] - Port /dev/ttySM0 opened succesfully",
         "CheckATCommands: Port /dev/ttySM0 opened succesfully", false},
        {"ModemDiag::ModemATCommandTest::run() [/dev/ttySM0]", "run", false},
        {"Tessaly Modem Diagnostics: Write to /dev/ttySM0 failed", "Tessaly Modem Diagnostics: Write to /dev/ttySM0 failed",
         true},
        {"ModemDiag::ModemATCommandTest::run() [/dev/ttySM0 - cut", "ModemDiag::ModemATCommandTest::run() [/dev/ttySM0 - cut",
         false},
    };
    for (const auto& c : kinds) {
        const diaghost::PluginLogLine read = diaghost::readLogLine(c.line);
        EXPECT_EQ(c.shown, read.text) << c.line;
        EXPECT_EQ(c.error, read.error) << c.line;
    }

    testsupport::TempDir dir;
    const std::string path = dir.file("TSYmodemDiagnostic.log");
    testsupport::writeFile(path, "ModemDiag::ModemATCommandTest::run() [/dev/ttySM0] - Normal exit\n");
    diaghost::PluginLog log(path);
    log.testStarted("/dev/ttySM0");
    std::ofstream(path, std::ios::app) << "ModemDiag::ModemATCommandTest::run() [/dev/ttySM0]\n"
                                          "ModemDiag::ModemATCommandTest::CheckATCommands() [/dev/ttySM1] - Started\n"
                                          " \t\n"
                                          "PortReadLine: no reply\n"
                                          "ModemDiag::ModemATCommandTest::run() [/dev/ttySM0] - Normal exit\n"
                                          "ModemDiag::ModemLoopbackTest::run() [/dev/ttySM0]\n"
                                          "ModemDiag::ModemLoopbackTest::SelfTest() [/dev/ttySM0] - Started";
    EXPECT_EQ((Lines{"run", "PortReadLine: no reply", "run: Normal exit"}), texts(log.take()));
    EXPECT_EQ(Lines{}, texts(log.take(true)));
    log.testStarted("/dev/ttySM0");
    EXPECT_EQ((Lines{"run", "SelfTest: Started"}), texts(log.take()));
    log.testStarted("/dev/ttySM1");
    EXPECT_EQ(Lines{"CheckATCommands: Started"}, texts(log.take()));
}

// A reader that opened the old file keeps it whole (a hard link stands for
// it); the new one is readable by the collector whatever the umask; a
// failure says why and leaves no temporary file. (A folder that is not
// there: test_cli's --junit row, through the same creation.) A file moved
// into another's place replaces it the same way, also from another file
// system (a log from a tmpfs TMPDIR to the home folder's disk).
TEST(HostFiles, ReportFilesAreReplacedInOneStep)
{
    testsupport::TempDir dir;
    const std::string file = dir.file("modemdiag.prom");
    const std::string reader = dir.file("reader-link");
    std::string error;
    ASSERT_TRUE(diaghost::writeFileAtomically(file, "old\n", error)) << error;
    ASSERT_EQ(0, ::link(file.c_str(), reader.c_str()));
    ::umask(0077);
    ASSERT_TRUE(diaghost::writeFileAtomically(file, "new\n", error)) << error;
    ::umask(0022);
    EXPECT_EQ("new\n", testsupport::readFile(file));
    EXPECT_EQ("old\n", testsupport::readFile(reader));

    const struct {
        std::string path;
        std::string says;
    } failures[] = {
        {dir.path() + "/", "a folder, not a file"},
        {dir.path(), "cannot replace it: Is a directory"},  // rename over a folder
    };
    for (const auto& c : failures) {
        EXPECT_FALSE(diaghost::writeFileAtomically(c.path, "x\n", error)) << c.path;
        EXPECT_NE(std::string::npos, error.find(c.says)) << error;
    }
    EXPECT_EQ("644 modemdiag.prom\n644 reader-link\n",
              testsupport::runCommand("cd '" + dir.path() + "' && find . -mindepth 1 -printf '%m %f\\n' | sort"));

    EXPECT_FALSE(diaghost::moveFileWhole(dir.file("none.log"), file, error));
    EXPECT_EQ("cannot replace " + file + ": No such file or directory", error);
    struct stat here {}, shm {};
    if (stat(dir.path().c_str(), &here) != 0 || stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm to move from";
    }
    const std::string from = "/dev/shm/" + dir.path().substr(dir.path().rfind('/') + 1) + ".log";
    testsupport::writeFile(from, "moved\n");
    ::unlink(reader.c_str());
    ASSERT_EQ(0, ::link(file.c_str(), reader.c_str()));
    EXPECT_TRUE(diaghost::moveFileWhole(from, file, error)) << error;
    EXPECT_EQ("moved\n", testsupport::readFile(file));
    EXPECT_EQ("new\n", testsupport::readFile(reader));
    EXPECT_NE(0, access(from.c_str(), F_OK));
    ::unlink(from.c_str());
}

// The manual page's EXIT STATUS section lists the statuses of --help, in
// order, each opening with the words --help gives it.
TEST(HostManual, ListsTheExitStatusesOfHelp)
{
    std::istringstream page(testsupport::readFile(DIAGHOST_MANUAL));
    std::vector<std::pair<int, std::string>> listed;
    bool inSection = false;
    std::string previous;
    for (std::string line; std::getline(page, line); previous = line) {
        if (line.compare(0, 4, ".SH ") == 0) {
            inSection = line == ".SH EXIT STATUS";
        } else if (inSection && previous == ".TP" && line.compare(0, 3, ".B ") == 0) {
            listed.emplace_back(std::stoi(line.substr(3)), "");
        } else if (inSection && !listed.empty() && line != ".TP") {
            std::string& text = listed.back().second;
            text += (text.empty() ? "" : " ") + std::regex_replace(line, std::regex(R"(\\-)"), "-");
        }
    }
    ASSERT_EQ(std::size(diaghost::kExitStatuses), listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(diaghost::kExitStatuses[i].status, listed[i].first);
        EXPECT_EQ(0u, listed[i].second.rfind(diaghost::kExitStatuses[i].meaning, 0)) << listed[i].second;
    }
}
