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

}  // namespace

using Enumeration = DiscoveryTest;

// The n-th function found gets ttySM<n>; one past the last tty has no
// driver. The golden end-to-end log pins a second function with a second tty.
TEST_F(Enumeration, PairsTheNthFunctionWithTheNthTtyOnceAndKeepsTheVector)
{
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

// Run in a child process: an enumerator that does not log still gives back
// a share of the log count when it goes, which would disturb later cases.
TEST_F(Enumeration, WithoutLoggingNoHeaderAndTheMessageLogStays)
{
    testsupport::TempDir package;
    MakePackage(package);
    root.addModem(0, 9);
    EXPECT_EXIT(
        {
            ModemDeviceEnumerator(false, IDeviceEnumerator::CUSTOMER).getDeviceVector("", 0);
            const bool unlogged = access((package.file("log") + kLogName).c_str(), F_OK) != 0;
            std::_Exit(unlogged && log.text().find("Normal exit") != std::string::npos ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
