// diaghost's files: following the diagnostic log as it grows, checking report files without touching them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "LogTail.h"
#include "OutputFiles.h"
#include "TestSupport.h"

using Lines = std::vector<std::string>;

// Only what was written after start(), each whole line once, a line still
// being written when it is complete (or at the end of the test).
TEST(HostFiles, LogTailGivesEachNewLineOnce)
{
    testsupport::TempDir dir;
    const std::string log = dir.file("TSYmodemDiagnostic.log");
    std::ofstream(log, std::ios::app) << "earlier test\r\n";
    diaghost::LogTail tail;
    tail.start(log);
    EXPECT_EQ(Lines{}, tail.newLines());
    std::ofstream(log, std::ios::app) << "Started\nPort /dev/ttySM0 opened";
    EXPECT_EQ(Lines{"Started"}, tail.newLines());
    std::ofstream(log, std::ios::app) << " succesfully\nNormal";
    EXPECT_EQ(Lines{"Port /dev/ttySM0 opened succesfully"}, tail.newLines());
    EXPECT_EQ(Lines{"Normal"}, tail.newLines(true));
    EXPECT_EQ(Lines{}, tail.newLines(true));

    // A log rotated away (shorter than before) is read from its start.
    testsupport::writeFile(log, "fresh\n");
    EXPECT_EQ(Lines{"fresh"}, tail.newLines());
    // One renamed away is read to its end, its unfinished line ended, and
    // the new one under its name from its start.
    std::ofstream(log, std::ios::app) << "last\nunfinished";
    ASSERT_EQ(0, std::rename(log.c_str(), (log + ".1").c_str()));
    std::ofstream(log, std::ios::app) << "new log\n";
    EXPECT_EQ((Lines{"last", "unfinished", "new log"}), tail.newLines());

    // A log that is missing at the start is read from its first line.
    tail.start(dir.file("later.log"));
    std::ofstream(dir.file("later.log"), std::ios::app) << "first\n";
    EXPECT_EQ(Lines{"first"}, tail.newLines());

    // A FIFO in the log's place is not opened, so nothing blocks.
    ASSERT_EQ(0, mkfifo(dir.file("fifo.log").c_str(), 0600));
    tail.start(dir.file("fifo.log"));
    EXPECT_EQ(Lines{}, tail.newLines(true));
}

// Report files are replaced through a rename: what counts is the folder,
// and that nothing but a regular file is in the way. The reasons diaghost
// gives are checked through its command line (test_cli.cpp).
TEST(HostFiles, ReportFilesAreCheckedWithoutBeingTouched)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("old.xml"), "old report");
    ASSERT_EQ(0, chmod(dir.file("old.xml").c_str(), 0444));
    ASSERT_EQ(0, mkfifo(dir.file("fifo.xml").c_str(), 0600));
    const struct {
        std::string path;
        bool writable;
        std::string reason;
    } cases[] = {
        {dir.file("old.xml"), true, ""},  // read-only, but its folder takes the new one
        {dir.file("new.xml"), true, ""},
        {dir.file("fifo.xml"), false, "not a regular file"},
        {dir.file("none/r.xml"), false, "No such file or directory"},
        {"/dev/null", false, "not a regular file"},
    };
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_EQ(c.writable, diaghost::canWriteFile(c.path, reason)) << c.path;
        EXPECT_EQ(c.reason, reason) << c.path;
    }
    EXPECT_EQ("old report", testsupport::readFile(dir.file("old.xml")));
    EXPECT_NE(0, access(dir.file("new.xml").c_str(), F_OK)) << "the check made the file";
}
