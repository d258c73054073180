// Log file opening: what may stand in a log's place, a swap racing the open, creation modes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "LogCapture.h"
#include "LogFile.h"

using QuarnDiags::DeviceEnum::IDeviceEnumerator;
using QuarnDiags::ModemDiag::ModemDeviceEnumerator;
using QuarnDiags::ModemDiag::ModemDiagnostic;
using testsupport::readFile;

namespace {

const char kEnumeratorLog[] = "TSYmodemDeviceEnumerator.log";
const char kDiagnosticLog[] = "TSYmodemDiagnostic.log";
const char kPrecious[] = "precious\n";

// A case that would block in open() ends the test program instead of
// hanging the suite.
struct HangGuard {
    HangGuard() { alarm(20); }
    ~HangGuard() { alarm(0); }
};

// <dir>/modem is the package folder, <dir>/log its log folder, and
// <dir>/target a file that no log may reach.
struct Package {
    testsupport::TempDir dir;
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

}  // namespace

// Whatever a group member plants in a log's place is left as it was and
// nothing is written through it: the enumerator moves its log to the
// package folder (with its one notice line), the diagnostic logs nothing.
TEST(LogFileOpening, OnlyAPlainFileIsTakenAsALog)
{
    const struct {
        const char* name;
        const char* command;  // run in the log folder, the log's name in $L
        mode_t type;          // what stays in the log's place
        bool reader;          // a FIFO's read end is held open
    } planted[] = {
        {"symbolic link to a file", "ln -s ../target $L", S_IFLNK, false},
        {"hard link to a file", "ln ../target $L", S_IFREG, false},
        {"FIFO with a reader", "mkfifo $L", S_IFIFO, true},
        {"FIFO without a reader", "mkfifo $L", S_IFIFO, false},
        // The numbers of /dev/null; making a device node needs root, as CI runs.
        {"character device", "mknod $L c 1 3", S_IFCHR, false},
        {"folder", "mkdir $L", S_IFDIR, false},
    };
    HangGuard guard;
    for (const auto& plant : planted) {
        for (const char* logName : {kEnumeratorLog, kDiagnosticLog}) {
            SCOPED_TRACE(std::string(plant.name) + " as " + logName);
            testsupport::settlePluginLogs();
            Package package;
            const std::string log = package.log(logName);
            ASSERT_EQ("", testsupport::runCommand("cd '" + package.dir.file("log") + "' && L=" + logName + " && " +
                                                  plant.command + " 2>&1"));
            const int reader = plant.reader ? open(log.c_str(), O_RDONLY | O_NONBLOCK) : -1;
            if (logName == kEnumeratorLog) {
                ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
                EXPECT_NE(std::string::npos, readFile(package.fallback(logName))
                                                 .find("Unable to open " + log + "; logging to " +
                                                       package.fallback(logName) + " instead\n"));
            } else {
                ModemDiagnostic diagnostic(true, IDeviceEnumerator::CUSTOMER);
                EXPECT_NE(0, access(package.fallback(logName).c_str(), F_OK));
            }
            EXPECT_EQ(kPrecious, readFile(package.dir.file("target")));
            struct stat info;
            ASSERT_EQ(0, lstat(log.c_str(), &info));
            EXPECT_EQ(plant.type, info.st_mode & S_IFMT);
            char byte;
            if (reader >= 0) {
                EXPECT_GE(0, read(reader, &byte, 1)) << "written into the FIFO";
                close(reader);
            }
        }
    }
}

// A member exchanges the log with a FIFO or a link over and over while the
// log is opened again and again: every open lands on the log itself or is
// refused; none blocks, and nothing reaches the other node.
TEST(LogFileOpening, ASwapRacingTheOpenNeverRedirectsNorBlocks)
{
    HangGuard guard;
    for (const char* partner : {"mkfifo other", "ln -s ../target other"}) {
        SCOPED_TRACE(partner);
        Package package;
        const std::string path = package.log(kDiagnosticLog);
        testsupport::writeFile(path, "");
        ASSERT_EQ("", testsupport::runCommand("cd '" + package.dir.file("log") + "' && " + partner + " 2>&1"));
        const int folder = open(package.dir.file("log").c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_LE(0, folder);
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            while (!stop.load()) {
                renameat2(folder, kDiagnosticLog, folder, "other", RENAME_EXCHANGE);
            }
        });
        std::size_t opened = 0;
        std::size_t refused = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < until && (opened < 200 || refused < 200)) {
            std::ofstream log;
            if (OpenLogFile(log, path, LogCreation::Umasked)) {
                log << 'x' << std::flush;
                ++opened;
            } else {
                ++refused;
            }
        }
        stop.store(true);
        swapper.join();
        close(folder);

        EXPECT_LT(0u, opened);
        EXPECT_EQ(kPrecious, readFile(package.dir.file("target")));
        // The log, under whichever name it has now, holds every character written.
        struct stat info;
        const bool moved = lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode);
        EXPECT_EQ(std::string(opened, 'x'), readFile(moved ? package.log("other") : path));
    }
}

// The diagnostic's log is created 0664 less the umask, the enumerator's
// 0664 whatever the umask; the log folder itself may be a link (Debian
// links the package's log folder to /var/log); each open log holds one
// descriptor, and none survives into a program the host starts.
TEST(LogFileOpening, CreationModesLinkedFolderAndCloseOnExec)
{
    Package package;
    ASSERT_EQ(0, mkdir(package.dir.file("var").c_str(), 0755));
    ASSERT_EQ(0, rmdir(package.dir.file("log").c_str()));
    ASSERT_EQ(0, symlink(package.dir.file("var").c_str(), package.dir.file("log").c_str()));
    const int descriptors = testsupport::openDescriptors();
    const mode_t savedMask = umask(027);
    std::ofstream enumeratorLog;
    std::ofstream diagnosticLog;
    const bool opened = OpenLogFile(enumeratorLog, package.log(kEnumeratorLog), LogCreation::GroupWritable) &&
                        OpenLogFile(diagnosticLog, package.log(kDiagnosticLog), LogCreation::Umasked);
    umask(savedMask);
    ASSERT_TRUE(opened);
    EXPECT_EQ(descriptors + 2, testsupport::openDescriptors());
    EXPECT_EQ(std::string::npos, testsupport::runCommand("ls -l /proc/$$/fd/").find("TSYmodem")) << "inherited";

    EXPECT_EQ("664 TSYmodemDeviceEnumerator.log\n640 TSYmodemDiagnostic.log\n",
              testsupport::runCommand("cd '" + package.dir.file("var") + "' && stat -c '%a %n' *.log"));
    diagnosticLog << "written" << std::endl;
    EXPECT_EQ("written\n", readFile(package.dir.file("var/TSYmodemDiagnostic.log")));
}
