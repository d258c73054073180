// Log file opening: what may stand in a log's place, a swap racing the open, creation modes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

#include "ExportClass.h"
#include "LogFile.h"
#include "ModemDeviceEnumerator.h"
#include "ModemDiagnostic.h"
#include "TestSupport.h"
#include "Velk.h"

using QuarnDiags::DeviceEnum::IDeviceEnumerator;
using QuarnDiags::ModemDiag::ModemDeviceEnumerator;
using QuarnDiags::ModemDiag::ModemDiagnostic;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

const char kEnumeratorLog[] = "TSYmodemDeviceEnumerator.log";
const char kDiagnosticLog[] = "TSYmodemDiagnostic.log";
const char kPrecious[] = "precious\n";

// A case that would block in open() ends the test program instead of
// hanging the suite.
class HangGuard {
public:
    HangGuard() { alarm(20); }
    ~HangGuard() { alarm(0); }
};

// <dir>/modem is the package folder, <dir>/log its log folder, and
// <dir>/target a file that no log may reach.
struct Package {
    TempDir dir;
    Package()
    {
        mkdir(dir.file("modem").c_str(), 0755);
        mkdir(dir.file("log").c_str(), 0755);
        testsupport::writeFile(dir.file("target"), kPrecious);
        setPackageConfigFile(dir.file("modem/pkg.cfg").c_str());
    }
    std::string log(const char* name) const { return dir.file("log/") + name; }
    std::string fallback(const char* name) const { return dir.file("modem/") + name; }
};

enum class Planted { SymbolicLink, HardLink, FifoWithReader, FifoWithoutReader, CharacterDevice, Folder };

struct PlantedCase {
    const char* name;
    Planted kind;
    mode_t type;  // what stays in the log's place
};

const PlantedCase kPlanted[] = {
    {"symbolic link to a file", Planted::SymbolicLink, S_IFLNK},
    {"hard link to a file", Planted::HardLink, S_IFREG},
    {"FIFO with a reader", Planted::FifoWithReader, S_IFIFO},
    {"FIFO without a reader", Planted::FifoWithoutReader, S_IFIFO},
    {"character device", Planted::CharacterDevice, S_IFCHR},
    {"folder", Planted::Folder, S_IFDIR},
};

// Puts kind at path; returns the FIFO's read end when there is one, -1
// otherwise, and false when the node cannot be made here.
bool Plant(const Package& package, Planted kind, const std::string& path, int* reader)
{
    *reader = -1;
    switch (kind) {
    case Planted::SymbolicLink:
        return symlink(package.dir.file("target").c_str(), path.c_str()) == 0;
    case Planted::HardLink:
        return link(package.dir.file("target").c_str(), path.c_str()) == 0;
    case Planted::FifoWithReader:
        if (mkfifo(path.c_str(), 0666) != 0) {
            return false;
        }
        *reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        return *reader >= 0;
    case Planted::FifoWithoutReader:
        return mkfifo(path.c_str(), 0666) == 0;
    case Planted::CharacterDevice:
        // The numbers of /dev/null; making a device node needs root, as CI runs.
        return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    case Planted::Folder:
        return mkdir(path.c_str(), 0755) == 0;
    }
    return false;
}

// Bytes a FIFO's reader can take now.
std::string Drain(int reader)
{
    std::string taken;
    char buffer[256];
    ssize_t got;
    while ((got = read(reader, buffer, sizeof buffer)) > 0) {
        taken.append(buffer, static_cast<std::size_t>(got));
    }
    return taken;
}

// Brings both class-wide logs to a known state (count 0, file closed), so
// that the objects of a case open their logs themselves whatever ran before
// in this process (a quiet enumerator destroyed earlier wraps the count).
// Nothing is written while settling.
void SettleSharedLogs()
{
    std::ofstream* const messages = gpLogFile;
    const std::string logDir = g_logDirPath;
    const std::string packageDir = g_packageDirPath;
    g_logDirPath = g_packageDirPath = "/nonexistent/modemdiag-settle";
    testsupport::settleSharedLog<ModemDeviceEnumerator>(IDeviceEnumerator::CUSTOMER);
    testsupport::settleSharedLog<ModemDiagnostic>(IDeviceEnumerator::CUSTOMER);
    g_logDirPath = logDir;
    g_packageDirPath = packageDir;
    gpLogFile = messages;
}

}  // namespace

// Whatever a group member plants in a log's place is left as it was and
// nothing is written through it: the enumerator moves its log to the
// package folder (with its one notice line), the diagnostic logs nothing.
TEST(LogFileOpening, OnlyAPlainFileIsTakenAsALog)
{
    HangGuard guard;
    for (const PlantedCase& planted : kPlanted) {
        for (const char* logName : {kEnumeratorLog, kDiagnosticLog}) {
            SCOPED_TRACE(std::string(planted.name) + " as " + logName);
            SettleSharedLogs();
            Package package;
            int reader = -1;
            if (!Plant(package, planted.kind, package.log(logName), &reader)) {
                ASSERT_EQ(Planted::CharacterDevice, planted.kind) << "cannot plant";
                std::fprintf(stderr, "skipped (needs root): %s as %s\n", planted.name, logName);
                continue;
            }
            if (std::string(logName) == kEnumeratorLog) {
                ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
                EXPECT_NE(std::string::npos, readFile(package.fallback(logName))
                                                 .find("Unable to open " + package.log(logName) + "; logging to " +
                                                       package.fallback(logName) + " instead\n"));
            } else {
                ModemDiagnostic diagnostic(true, IDeviceEnumerator::CUSTOMER);
                EXPECT_NE(0, access(package.fallback(logName).c_str(), F_OK));
            }
            EXPECT_EQ(kPrecious, readFile(package.dir.file("target")));
            struct stat info;
            ASSERT_EQ(0, lstat(package.log(logName).c_str(), &info));
            EXPECT_EQ(planted.type, info.st_mode & S_IFMT);
            if (reader >= 0) {
                EXPECT_EQ("", Drain(reader));
                close(reader);
            }
        }
    }
}

// A member exchanges the log with a FIFO or a link over and over while the
// log is opened again and again. Every open either lands on the log itself
// or is refused; none blocks, and nothing reaches the other node.
TEST(LogFileOpening, ASwapRacingTheOpenNeverRedirectsNorBlocks)
{
    HangGuard guard;
    for (const Planted partner : {Planted::FifoWithReader, Planted::FifoWithoutReader, Planted::SymbolicLink}) {
        SCOPED_TRACE(static_cast<int>(partner));
        Package package;
        const std::string path = package.log(kDiagnosticLog);
        testsupport::writeFile(path, "");
        int reader = -1;
        ASSERT_TRUE(Plant(package, partner, package.log("other"), &reader));
        const int folder = open(package.dir.file("log").c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_LE(0, folder);

        std::atomic<bool> stop{false};
        std::atomic<long> swaps{0};
        std::thread swapper([&] {
            while (!stop.load()) {
                if (renameat2(folder, kDiagnosticLog, folder, "other", RENAME_EXCHANGE) == 0) {
                    ++swaps;
                }
            }
        });
        long opened = 0;
        long refused = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < until && (opened < 200 || refused < 200)) {
            std::ofstream log;
            if (OpenLogFile(log, path, LogCreation::Umasked)) {
                log << "line" << std::endl;
                ++opened;
            } else {
                ++refused;
            }
        }
        stop.store(true);
        swapper.join();
        close(folder);
        std::printf("%ld opened, %ld refused, %ld swaps\n", opened, refused, swaps.load());

        EXPECT_LT(0, opened);
        EXPECT_EQ(kPrecious, readFile(package.dir.file("target")));
        if (reader >= 0) {
            EXPECT_EQ("", Drain(reader));
            close(reader);
        }
        // The log, under whichever name it has now, holds every line written.
        struct stat info;
        const std::string logNow =
            lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? path : package.log("other");
        std::string expected;
        for (long i = 0; i < opened; ++i) {
            expected += "line\n";
        }
        EXPECT_EQ(expected, readFile(logNow));
    }
}

// The diagnostic's log is created 0664 less the umask, the enumerator's
// 0664 whatever the umask; the log folder itself may be a link (Debian
// links the package's log folder to /var/log); no log descriptor survives
// into a program the host starts.
TEST(LogFileOpening, CreationModesLinkedFolderAndCloseOnExec)
{
    Package package;
    ASSERT_EQ(0, mkdir(package.dir.file("var").c_str(), 0755));
    ASSERT_EQ(0, rmdir(package.dir.file("log").c_str()));
    ASSERT_EQ(0, symlink(package.dir.file("var").c_str(), package.dir.file("log").c_str()));
    const mode_t savedMask = umask(027);
    std::ofstream enumeratorLog;
    std::ofstream diagnosticLog;
    const bool opened = OpenLogFile(enumeratorLog, package.log(kEnumeratorLog), LogCreation::GroupWritable) &&
                        OpenLogFile(diagnosticLog, package.log(kDiagnosticLog), LogCreation::Umasked);
    umask(savedMask);
    ASSERT_TRUE(opened);

    struct stat info;
    ASSERT_EQ(0, stat(package.dir.file("var/TSYmodemDeviceEnumerator.log").c_str(), &info));
    EXPECT_EQ(0664u, info.st_mode & 07777);
    ASSERT_EQ(0, stat(package.dir.file("var/TSYmodemDiagnostic.log").c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);

    DIR* fds = opendir("/proc/self/fd");
    ASSERT_NE(nullptr, fds);
    int logDescriptors = 0;
    while (const dirent* entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        struct stat open;
        if (entry->d_name[0] == '.' || fstat(fd, &open) != 0 || open.st_ino != info.st_ino ||
            open.st_dev != info.st_dev) {
            continue;
        }
        ++logDescriptors;
        EXPECT_NE(0, fcntl(fd, F_GETFD) & FD_CLOEXEC) << "descriptor " << fd;
    }
    closedir(fds);
    EXPECT_EQ(1, logDescriptors);

    diagnosticLog << "written" << std::endl;
    EXPECT_EQ("written\n", readFile(package.dir.file("var/TSYmodemDiagnostic.log")));
}
