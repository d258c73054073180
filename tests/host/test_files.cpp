// diaghost's files: the plug-in's log followed and sorted by test, report files replaced in one step, port locks,
// the manual page.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ExitStatus.h"
#include "LogTail.h"
#include "OutputFiles.h"
#include "PluginLog.h"
#include "PortLock.h"
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

namespace {

// What a lock of /dev/ttySM0 in folder comes to, as "held", "busy" or
// "unlockable" and its message, looked at by a child process (whose lock
// goes when it ends): as root, or without root's rights when unprivileged
// (those of nobody; a user who is not root keeps their own). A held lock
// that does not name the child says so.
std::string lockSeenBy(const std::string& folder, bool unprivileged)
{
    const std::string report = folder + ".seen";
    const pid_t child = fork();
    if (child == 0) {
        std::ofstream seen(report);  // opened before any rights are given up
        const auto dropRoot = [] {
            return setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
                   setresuid(65534, 65534, 65534) == 0;
        };
        if (unprivileged && geteuid() == 0 && !dropRoot()) {
            seen << "skip: root cannot give up its rights here (no CAP_SETUID)";
        } else if (unprivileged && access(folder.c_str(), X_OK) != 0 && errno == EACCES) {
            seen << "skip: " << folder << " cannot be reached without root's rights";
        } else {
            const diaghost::PortLock lock(folder, "/dev/ttySM0");
            const char* const states[] = {"held", "busy", "unlockable"};
            char mine[16];
            std::snprintf(mine, sizeof mine, "%10d\n", static_cast<int>(getpid()));
            const bool strange =
                lock.state == diaghost::PortLock::State::Held && testsupport::readFile(lock.path) != mine;
            const std::string message = diaghost::lockMessage(lock);
            seen << states[static_cast<int>(lock.state)] << (strange ? " (not naming us)" : "")
                 << (message.empty() ? "" : ": " + message);
        }
        seen.close();
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return testsupport::readFile(report);
}

}  // namespace

// A port's lock by what it holds: a live process's PID (ten ASCII digits,
// zero-padded, four binary bytes, one its owner alone may signal) keeps the
// port and the file; a PID that names no live process, or none at all, is
// stale: removed and ours made in its place, removed again when we end. A
// lock that cannot be made or taken over says why, and the port is tested
// without it.
TEST(HostFiles, PortLocksTakeFreeAndStaleLocksAndLeaveLiveOnes)
{
    const pid_t gone = fork();
    if (gone == 0) {
        _exit(0);
    }
    waitpid(gone, nullptr, 0);
    const auto text = [](pid_t pid) {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%10d\n", static_cast<int>(pid));
        return std::string(digits);
    };
    const auto comm = [](const std::string& pid) {
        const std::string name = testsupport::readFile("/proc/" + pid + "/comm");
        return name.substr(0, name.find('\n'));
    };
    const std::string live = "busy: locked by PID " + std::to_string(getpid()) + " (" + comm("self") + ")";
    const std::string stale = "held: Removed a stale lock of /dev/ttySM0: ";
    const std::string cannot = "unlockable: Cannot lock /dev/ttySM0 ({lock}): ";
    enum Folder { Writable, ReadOnly, AFile };
    const struct {
        const char* what;
        bool present;
        std::string content;
        Folder folder;
        bool unprivileged;
        std::string seen;
    } cases[] = {
        {"no lock", false, "", Writable, false, "held"},
        {"live, ten ASCII digits", true, text(getpid()), Writable, false, live},
        {"live, zero-padded, no line end", true, std::string(10 - std::to_string(getpid()).size(), '0') +
             std::to_string(getpid()), Writable, false, live},
        {"live, binary", true, std::string("\x01\0\0\0", 4), Writable, false,
         "busy: locked by PID 1 (" + comm("1") + ")"},
        {"live, another user's", true, text(getpid()), ReadOnly, true, live},
        {"stale, a process gone", true, text(gone), Writable, false,
         stale + "its process " + std::to_string(gone) + " is gone."},
        {"junk", true, "modem\n", Writable, false, stale + "it names no process."},
        {"digits, then junk", true, "      123x\n", Writable, false, stale + "it names no process."},
        {"PID 0", true, text(0), Writable, false, stale + "it names no process."},
        {"a negative PID", true, text(-5), Writable, false, stale + "it names no process."},
        {"beyond any PID", true, "9999999999\n", Writable, false, stale + "it names no process."},
        {"binary, negative", true, "\xff\xff\xff\xff", Writable, false, stale + "it names no process."},
        {"empty", true, "", Writable, false, stale + "it names no process."},
        {"a folder it may not write", false, "", ReadOnly, true,
         cannot + "Permission denied; testing without the lock."},
        {"stale in a folder it may not write", true, text(gone), ReadOnly, true,
         cannot + "a stale lock cannot be removed: Permission denied; testing without the lock."},
        {"a file in place of the folder", false, "", AFile, false,
         cannot + "Not a directory; testing without the lock."},
    };
    testsupport::TempDir dir;
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));  // reachable by nobody
    std::string skipped;
    int n = 0;
    for (const auto& c : cases) {
        const std::string folder = dir.file("lock" + std::to_string(n++));
        const std::string lock = folder + "/LCK..ttySM0";
        if (c.folder == AFile) {
            testsupport::writeFile(folder, "");
        } else {
            ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
        }
        if (c.present) {
            testsupport::writeFile(lock, c.content);
        }
        if (c.folder == ReadOnly) {
            ASSERT_EQ(0, chmod(folder.c_str(), 0555));
        }
        const std::string seen = lockSeenBy(folder, c.unprivileged);
        if (seen.compare(0, 6, "skip: ") == 0) {
            skipped += std::string(c.what) + ": " + seen.substr(6) + "\n";
            continue;
        }
        EXPECT_EQ(std::regex_replace(c.seen, std::regex("\\{lock\\}"), lock), seen) << c.what;
        // Another program's lock stays as it was; ours is gone with us.
        if (c.seen.compare(0, 4, "held") == 0) {
            EXPECT_NE(0, access(lock.c_str(), F_OK)) << c.what;
        } else if (c.present) {
            EXPECT_EQ(c.content, testsupport::readFile(lock)) << c.what;
        }
    }
    if (!skipped.empty()) {
        GTEST_SKIP() << skipped;
    }
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
