// diaghost's files: the plug-in's log followed and sorted by test, report files replaced in one step, the manual page.
#include <gtest/gtest.h>

#include <fstream>
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

// Only what was written after it began, each whole line once, a line still
// being written when it is complete (or at the end of the test).
TEST(HostFiles, LogTailGivesEachNewLineOnce)
{
    testsupport::TempDir dir;
    const std::string log = dir.file("TSYmodemDiagnostic.log");
    std::ofstream(log, std::ios::app) << "earlier test\r\n";
    diaghost::LogTail tail(log);
    EXPECT_EQ(Lines{}, tail.newLines());
    std::ofstream(log, std::ios::app) << "Started\nPort /dev/ttySM0 opened";
    EXPECT_EQ(Lines{"Started"}, tail.newLines());
    std::ofstream(log, std::ios::app) << " succesfully\nNormal";
    EXPECT_EQ(Lines{"Port /dev/ttySM0 opened succesfully"}, tail.newLines());
    EXPECT_EQ(Lines{"Normal"}, tail.newLines(true));
    EXPECT_EQ(Lines{}, tail.newLines(true));

    // (Truncation and rotation against a model of their own: fuzz_log_tail.)

    // A log that is missing at the start is read from its first line.
    diaghost::LogTail later(dir.file("later.log"));
    std::ofstream(dir.file("later.log"), std::ios::app) << "first\n";
    EXPECT_EQ(Lines{"first"}, later.newLines());

    // A FIFO in the log's place is not opened, so nothing blocks.
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
// failure says why and leaves no temporary file.
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
        {dir.file("missing/modemdiag.prom"), "cannot create a file in " + dir.file("missing")},
        {dir.path() + "/", "names a folder"},
        {dir.path(), "cannot write " + dir.path()},  // rename over a folder
    };
    for (const auto& c : failures) {
        EXPECT_FALSE(diaghost::writeFileAtomically(c.path, "x\n", error)) << c.path;
        EXPECT_NE(std::string::npos, error.find(c.says)) << error;
    }
    EXPECT_EQ("644 modemdiag.prom\n644 reader-link\n",
              testsupport::runCommand("cd '" + dir.path() + "' && find . -mindepth 1 -printf '%m %f\\n' | sort"));
}

// The manual page's EXIT STATUS section lists the statuses of --help, in order.
TEST(HostManual, ListsTheExitStatusesOfHelp)
{
    std::istringstream page(testsupport::readFile(DIAGHOST_MANUAL));
    std::vector<int> listed;
    bool inSection = false;
    std::string previous;
    for (std::string line; std::getline(page, line); previous = line) {
        if (line.compare(0, 4, ".SH ") == 0) {
            inSection = line == ".SH EXIT STATUS";
        } else if (inSection && previous == ".TP" && line.compare(0, 3, ".B ") == 0) {
            listed.push_back(std::stoi(line.substr(3)));
        }
    }
    std::vector<int> table;
    for (const diaghost::ExitStatusInfo& row : diaghost::kExitStatuses) {
        table.push_back(row.status);
    }
    EXPECT_EQ(table, listed);
}
