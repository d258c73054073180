// The enumerator: pairing PCI functions with ttys, its cached vector, its log file.
#include <sys/stat.h>
#include <unistd.h>

#include "DiscoveryFixture.h"
#include "ExportClass.h"
#include "ModemDeviceEnumerator.h"
#include "VirtualModem.h"

using QuarnDiags::DeviceEnum::IDevice;
using QuarnDiags::DeviceEnum::IDeviceEnumerator;
using QuarnDiags::ModemDiag::ModemDeviceEnumerator;

namespace {

const char kLogName[] = "/TSYmodemDeviceEnumerator.log";

// Makes <dir>/modem the plug-in's package folder, with <dir>/log beside it.
void MakePackage(const testsupport::TempDir& dir)
{
    mkdir(dir.file("modem").c_str(), 0755);
    mkdir(dir.file("log").c_str(), 0755);
    setPackageConfigFile(dir.file("modem/pkg.cfg").c_str());
}

// Brings the class-wide enumerator log to a known state (count 0, file
// closed), the message log as it was. Nothing is written while settling.
void SettleEnumeratorLog()
{
    std::ofstream* const messages = gpLogFile;
    const std::string logDir = g_logDirPath;
    const std::string packageDir = g_packageDirPath;
    g_logDirPath = g_packageDirPath = "/nonexistent/modemdiag-settle";
    testsupport::settleSharedLog<ModemDeviceEnumerator>(IDeviceEnumerator::CUSTOMER);
    g_logDirPath = logDir;
    g_packageDirPath = packageDir;
    gpLogFile = messages;
}

}  // namespace

using Enumeration = DiscoveryTest;

// The n-th function found gets ttySM<n>; one past the last tty has no
// driver. The golden end-to-end log pins a second function with a second tty.
TEST_F(Enumeration, PairsTheNthFunctionWithTheNthTtyOnceAndKeepsTheVector)
{
    SettleEnumeratorLog();
    testsupport::TempDir package;
    MakePackage(package);
    modemsim::VirtualModem modem;
    root.linkTty(0, modem.slavePath());
    EXPECT_TRUE(ModemDeviceEnumerator(true, IDeviceEnumerator::CUSTOMER).getDeviceVector(nullptr, 3)->empty());

    // Added in reverse: the scan order decides, not the order of creation.
    root.addModem(1, 10);
    root.addModem(0, 9);
    ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
    const auto* devices = enumerator.getDeviceVector(nullptr, 3);
    ASSERT_EQ(2u, devices->size());
    EXPECT_EQ("PCI Bus 0, Device 9, Function 0", (*devices)[0]->getDeviceLocation());
    EXPECT_EQ("/dev/ttySM0", (*devices)[0]->getDeviceDescriptor());
    EXPECT_EQ("PCI Bus 1, Device 10, Function 0", (*devices)[1]->getDeviceLocation());
    EXPECT_EQ(IDevice::DRIVERS_NOT_INSTALLED, (*devices)[1]->getDeviceStatus());

    // A second call gives back the same vector without scanning again, and
    // logs only that it started and ended.
    root.addModem(2, 4);
    const std::string logPath = package.file("log") + kLogName;
    const std::size_t logged = testsupport::readFile(logPath).size();
    EXPECT_EQ(devices, enumerator.getDeviceVector("", 0));
    EXPECT_EQ(2u, devices->size());
    EXPECT_EQ("ModemDeviceEnumerator::getDeviceVector() - Started\n"
              "ModemDeviceEnumerator::getDeviceVector() - Normal exit\n",
              testsupport::readFile(logPath).substr(logged));
}

// A log file that cannot be opened (a FIFO, which must not block) moves the
// log, and the log folder with it, to the package folder; with that folder
// gone too the enumeration still works, unlogged.
TEST_F(Enumeration, UnusableLogFolderFallsBackToThePackageFolder)
{
    SettleEnumeratorLog();
    root.addModem(0, 9);
    for (const bool packageFolderKept : {true, false}) {
        SCOPED_TRACE(packageFolderKept);
        testsupport::TempDir folder;
        MakePackage(folder);
        mkfifo((folder.file("log") + kLogName).c_str(), 0644);
        if (!packageFolderKept) {
            rmdir(folder.file("modem").c_str());
        }
        EXPECT_EQ(1u, ModemDeviceEnumerator(true, IDeviceEnumerator::CUSTOMER).getDeviceVector("", 0)->size());
        EXPECT_EQ(folder.file("modem"), g_logDirPath);
        const std::string notice = "Unable to open " + folder.file("log") + kLogName + "; logging to " +
                                   folder.file("modem") + kLogName + " instead\n";
        EXPECT_EQ(packageFolderKept,
                  testsupport::readFile(folder.file("modem") + kLogName).find(notice) != std::string::npos);
    }
}

// The quiet enumerator's messages go to the message log it found; it still
// counts itself out of the shared log when it goes (below zero here), which
// the settling afterwards makes up for.
TEST_F(Enumeration, WithoutLoggingNoHeaderAndTheMessageLogStays)
{
    SettleEnumeratorLog();
    testsupport::TempDir package;
    MakePackage(package);
    root.addModem(0, 9);
    EXPECT_EQ(1u, ModemDeviceEnumerator(false, IDeviceEnumerator::CUSTOMER).getDeviceVector("", 0)->size());
    EXPECT_NE(0, access((package.file("log") + kLogName).c_str(), F_OK));
    EXPECT_NE(std::string::npos, log.text().find("Normal exit"));
    EXPECT_EQ(&log.stream(), gpLogFile);
    EXPECT_EQ(0xFFFFFFFFu, ModemDeviceEnumerator::logFileInitCount());  // counted out all the same
    SettleEnumeratorLog();
    EXPECT_EQ(0u, ModemDeviceEnumerator::logFileInitCount());
    EXPECT_FALSE(ModemDeviceEnumerator::logFile().is_open());
}
