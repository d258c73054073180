// The enumerator: pairing PCI functions with ttys, its cached vector, its shared log file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "ExportClass.h"
#include "ModemDevice.h"
#include "ModemDeviceEnumerator.h"
#include "SimulatedRoot.h"
#include "TestSupport.h"
#include "Velk.h"
#include "VirtualModem.h"

using QuarnDiags::DeviceEnum::IDevice;
using QuarnDiags::DeviceEnum::IDeviceEnumerator;
using QuarnDiags::DeviceEnum::VirtualDeviceVector;
using QuarnDiags::ModemDiag::ModemDevice;
using QuarnDiags::ModemDiag::ModemDeviceEnumerator;

namespace {

const char kLogName[] = "/TSYmodemDeviceEnumerator.log";

// A package folder <tmp>/modem with its log folder <tmp>/log, and a
// simulated machine.
class Enumeration : public ::testing::Test {
protected:
    void SetUp() override
    {
        mkdir(package.file("modem").c_str(), 0755);
        mkdir(package.file("log").c_str(), 0755);
        setPackageConfigFile(package.file("modem/pkg.cfg").c_str());
        root.exportToEnvironment();
    }
    void TearDown() override { unsetenv("MODEMDIAG_SYSROOT"); }

    std::string logPath() const { return package.file("log") + kLogName; }
    std::string logText() const { return testsupport::readFile(logPath()); }

    // Starts n virtual modems and links them as ttySM0 upward.
    void addTtys(int n)
    {
        for (int i = 0; i < n; ++i) {
            modems.push_back(std::make_unique<modemsim::VirtualModem>());
            root.linkTty(i, modems.back()->slavePath());
        }
    }

    testsupport::TempDir package;
    modemsim::SimulatedRoot root;
    std::vector<std::unique_ptr<modemsim::VirtualModem>> modems;
};

const devDetailStruct& Details(const VirtualDeviceVector& devices, std::size_t i)
{
    return static_cast<const ModemDevice*>(devices[i].getDevice())->getDevDetails();
}

}  // namespace

TEST_F(Enumeration, PairsTheNthFunctionWithTheNthTty)
{
    struct Case {
        const char* name;
        int functions;
        int ttys;
        std::vector<std::string> comPorts;
    };
    const Case cases[] = {
        {"two functions, two ttys", 2, 2, {"/dev/ttySM0", "/dev/ttySM1"}},
        {"two functions, one tty", 2, 1, {"/dev/ttySM0", ""}},
        {"no function, two ttys", 0, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        modemsim::SimulatedRoot machine;
        machine.exportToEnvironment();
        machine.addChipset();
        // Added in reverse: the scan order decides, not the order of creation.
        for (int i = c.functions - 1; i >= 0; --i) {
            machine.addModem(i, 9 + i);
        }
        std::vector<std::unique_ptr<modemsim::VirtualModem>> ttys;
        for (int i = 0; i < c.ttys; ++i) {
            ttys.push_back(std::make_unique<modemsim::VirtualModem>());
            machine.linkTty(i, ttys.back()->slavePath());
        }

        ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
        const VirtualDeviceVector* devices = enumerator.getDeviceVector(nullptr, 3);
        ASSERT_EQ(c.comPorts.size(), devices->size());
        for (std::size_t i = 0; i < devices->size(); ++i) {
            const devDetailStruct& details = Details(*devices, i);
            EXPECT_EQ(c.comPorts[i], details.comPort);
            EXPECT_EQ(static_cast<int>(i), details.bus);
            EXPECT_EQ(static_cast<int>(9 + i), details.device);
            const IDevice::DeviceStatus status =
                c.comPorts[i].empty() ? IDevice::DRIVERS_NOT_INSTALLED : IDevice::NORMAL;
            EXPECT_EQ(status, (*devices)[i]->getDeviceStatus());
        }
    }
}

TEST_F(Enumeration, LogOfAWholeEnumerationMatchesTheGoldenFile)
{
    root.addChipset();
    root.addModem(0, 9);
    root.addModem(0, 10);
    root.addModem(2, 4);
    addTtys(2);
    modemsim::IrqRoutingTable pir;
    pir.slots = {{0, 9 << 3, 1}, {0, 10 << 3, 2}};
    root.setIrqTable(pir);

    {
        std::unique_ptr<IDeviceEnumerator> enumerator(getIDeviceEnumerator(true, IDeviceEnumerator::FACTORY));
        ASSERT_EQ(3u, enumerator->getDeviceVector("", 7)->size());
    }
    const std::string goldenPath = DISCOVERY_GOLDEN_DIR "/enumeration.log";
    const std::string masked = testsupport::maskDates(logText());
    // MODEMDIAG_UPDATE_GOLDEN=1 rewrites the golden file after a deliberate change.
    if (std::getenv("MODEMDIAG_UPDATE_GOLDEN") != nullptr) {
        testsupport::writeFile(goldenPath, masked);
    }
    const std::string golden = testsupport::readFile(goldenPath);
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(golden, masked);
}

TEST_F(Enumeration, SecondCallReturnsTheSameVectorWithoutScanning)
{
    root.addModem(0, 9);
    ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
    VirtualDeviceVector* first = enumerator.getDeviceVector("", 0);
    ASSERT_EQ(1u, first->size());
    const std::size_t linesBefore = testsupport::readLines(logPath()).size();

    root.addModem(0, 10);
    EXPECT_EQ(first, enumerator.getDeviceVector("", 0));
    EXPECT_EQ(1u, first->size());

    const std::vector<std::string> lines = testsupport::readLines(logPath());
    const std::vector<std::string> added(lines.begin() + static_cast<long>(linesBefore), lines.end());
    const std::vector<std::string> expected = {
        "ModemDeviceEnumerator::getDeviceVector() - Started",
        "ModemDeviceEnumerator::getDeviceVector() - Normal exit",
    };
    EXPECT_EQ(expected, added);
    EXPECT_STREQ("", gFunctionName);
}

TEST_F(Enumeration, FailedSlotLookupGivesSlotZero)
{
    root.addModem(1, 5);
    addTtys(1);
    ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
    const VirtualDeviceVector* devices = enumerator.getDeviceVector("", 0);
    ASSERT_EQ(1u, devices->size());
    EXPECT_EQ(0u, Details(*devices, 0).slot);
    EXPECT_EQ("", (*devices)[0]->getDeviceAdditionalHWInfo());

    const std::string log = logText();
    EXPECT_NE(std::string::npos, log.find("::GetSlotNumber() - Failed to open /proc/kcore\n"
                                          "ModemDeviceEnumerator::getDeviceVector() - Hardware device 1 details:\n"));
    EXPECT_NE(std::string::npos, log.find("ModemDeviceEnumerator::getDeviceVector() - \tPCI slot: 0\n"));
}

TEST_F(Enumeration, EnumeratorsShareOneLogUntilTheLastGoes)
{
    auto first = std::make_unique<ModemDeviceEnumerator>(true, IDeviceEnumerator::CUSTOMER);
    auto second = std::make_unique<ModemDeviceEnumerator>(true, IDeviceEnumerator::BRINGUP);
    std::ofstream* shared = gpLogFile;
    ASSERT_NE(nullptr, shared);
    first.reset();
    EXPECT_EQ(shared, gpLogFile);
    EXPECT_TRUE(shared->is_open());
    second.reset();
    EXPECT_EQ(nullptr, gpLogFile);

    // Two banners, each an empty line, the dated line and another empty line.
    const std::string expected = "\n******************** <DATE>\n\n\n******************** <DATE>\n\n";
    EXPECT_EQ(expected, testsupport::maskDates(logText()));
}

TEST_F(Enumeration, NewLogFileIsGroupWritable)
{
    const mode_t previous = umask(077);
    { ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER); }
    umask(previous);
    struct stat info;
    ASSERT_EQ(0, stat(logPath().c_str(), &info));
    EXPECT_EQ(0664u, info.st_mode & 0777);
}

// An unusable log folder moves the log, and the log folder with it, to the
// package folder; with both unusable the enumeration still works, unlogged.
TEST_F(Enumeration, UnusableLogFolderFallsBackToThePackageFolder)
{
    struct Case {
        const char* name;
        void (*spoil)(const testsupport::TempDir&);
        bool logged;
    };
    const Case cases[] = {
        {"missing log folder", [](const testsupport::TempDir& d) { rmdir(d.file("log").c_str()); }, true},
        {"log folder is a file",
         [](const testsupport::TempDir& d) {
             rmdir(d.file("log").c_str());
             testsupport::writeFile(d.file("log"), "");
         },
         true},
        {"log file is a FIFO",
         [](const testsupport::TempDir& d) { mkfifo((d.file("log") + kLogName).c_str(), 0644); }, true},
        {"package folder missing too",
         [](const testsupport::TempDir& d) {
             rmdir(d.file("log").c_str());
             rmdir(d.file("modem").c_str());
         },
         false},
    };
    root.addModem(0, 9);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir folder;
        mkdir(folder.file("modem").c_str(), 0755);
        mkdir(folder.file("log").c_str(), 0755);
        c.spoil(folder);
        setPackageConfigFile(folder.file("modem/pkg.cfg").c_str());
        {
            ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
            EXPECT_EQ(1u, enumerator.getDeviceVector("", 0)->size());
        }
        EXPECT_EQ(folder.file("modem"), g_logDirPath);
        const std::string moved = testsupport::readFile(folder.file("modem") + kLogName);
        if (c.logged) {
            EXPECT_NE(std::string::npos, moved.find("Unable to open " + folder.file("log") + kLogName +
                                                    "; logging to " + folder.file("modem") + kLogName + " instead\n"));
            EXPECT_NE(std::string::npos, moved.find("getDeviceVector() - Normal exit"));
        } else {
            EXPECT_EQ("", moved);
        }
    }
}

// Run in a child process: an enumerator that does not log still gives back
// a share of the log count when it goes, which would disturb later cases.
TEST_F(Enumeration, WithoutLoggingNoHeaderAndTheMessageLogStays)
{
    root.addModem(0, 9);
    EXPECT_EXIT(
        {
            std::ofstream other(package.file("other.log"));
            gpLogFile = &other;
            bool ok;
            {
                ModemDeviceEnumerator enumerator(false, IDeviceEnumerator::CUSTOMER);
                ok = gpLogFile == &other && enumerator.getDeviceVector("", 0)->size() == 1;
            }
            struct stat info;
            ok = ok && stat(logPath().c_str(), &info) != 0;
            other.close();
            ok = ok && testsupport::readFile(package.file("other.log")).find("Normal exit") != std::string::npos;
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
