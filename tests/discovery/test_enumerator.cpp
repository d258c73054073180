// The enumerator: pairing PCI functions with ttys, its cached vector, its log file.
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

#include "DiscoveryFixture.h"
#include "ExportClass.h"
#include "ModemDeviceEnumerator.h"
#include "VirtualModem.h"

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

class Enumeration : public DiscoveryTest {
protected:
    void SetUp() override
    {
        DiscoveryTest::SetUp();
        MakePackage(package);
    }

    testsupport::TempDir package;
    const std::string logPath = package.file("log") + kLogName;
};

}  // namespace

// Each device as "location|tty|status"; 28 is "drivers not installed".
TEST_F(Enumeration, PairsTheNthFunctionWithTheNthTty)
{
    const std::tuple<int, int, std::vector<std::string>> cases[] = {
        {2, 2, {"PCI Bus 0, Device 9, Function 0|/dev/ttySM0|0", "PCI Bus 1, Device 10, Function 0|/dev/ttySM1|0"}},
        {2, 1, {"PCI Bus 0, Device 9, Function 0|/dev/ttySM0|0", "PCI Bus 1, Device 10, Function 0||28"}},
        {0, 2, {}},
    };
    for (const auto& [functions, ttys, expected] : cases) {
        SCOPED_TRACE(testing::Message() << functions << " functions, " << ttys << " ttys");
        modemsim::SimulatedRoot machine;
        machine.exportToEnvironment();
        // Added in reverse: the scan order decides, not the order of creation.
        for (int i = functions - 1; i >= 0; --i) {
            machine.addModem(i, 9 + i);
        }
        std::vector<modemsim::VirtualModem> modems(static_cast<std::size_t>(ttys));
        for (int i = 0; i < ttys; ++i) {
            machine.linkTty(i, modems[static_cast<std::size_t>(i)].slavePath());
        }
        ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
        std::vector<std::string> rows;
        for (const auto& device : *enumerator.getDeviceVector(nullptr, 3)) {
            rows.push_back(device->getDeviceLocation() + "|" + device->getDeviceDescriptor() + "|" +
                           std::to_string(device->getDeviceStatus()));
        }
        EXPECT_EQ(expected, rows);
    }
}

TEST_F(Enumeration, SecondCallReturnsTheSameVectorWithoutScanning)
{
    root.addModem(0, 9);
    ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
    const auto* first = enumerator.getDeviceVector("", 0);
    root.addModem(0, 10);
    EXPECT_EQ(first, enumerator.getDeviceVector("", 0));
    EXPECT_EQ(1u, first->size());
}

// An unusable log folder moves the log, and the log folder with it, to the
// package folder; with both unusable the enumeration still works, unlogged.
TEST_F(Enumeration, UnusableLogFolderFallsBackToThePackageFolder)
{
    using Spoil = void (*)(const testsupport::TempDir&);
    const std::tuple<const char*, Spoil, bool> cases[] = {
        {"missing log folder", [](const testsupport::TempDir& d) { rmdir(d.file("log").c_str()); }, true},
        {"log file is a FIFO", [](const testsupport::TempDir& d) { mkfifo((d.file("log") + kLogName).c_str(), 0644); },
         true},
        {"package folder missing too",
         [](const testsupport::TempDir& d) { rmdir(d.file("log").c_str()), rmdir(d.file("modem").c_str()); }, false},
    };
    root.addModem(0, 9);
    for (const auto& [name, spoil, logged] : cases) {
        SCOPED_TRACE(name);
        testsupport::TempDir folder;
        MakePackage(folder);
        spoil(folder);
        {
            ModemDeviceEnumerator enumerator(true, IDeviceEnumerator::CUSTOMER);
            EXPECT_EQ(1u, enumerator.getDeviceVector("", 0)->size());
        }
        EXPECT_EQ(folder.file("modem"), g_logDirPath);
        const std::string notice = "Unable to open " + folder.file("log") + kLogName + "; logging to " +
                                   folder.file("modem") + kLogName + " instead\n";
        EXPECT_EQ(logged, testsupport::readFile(folder.file("modem") + kLogName).find(notice) != std::string::npos);
    }
}

// Run in a child process: an enumerator that does not log still gives back
// a share of the log count when it goes, which would disturb later cases.
TEST_F(Enumeration, WithoutLoggingNoHeaderAndTheMessageLogStays)
{
    root.addModem(0, 9);
    EXPECT_EXIT(
        {
            ModemDeviceEnumerator(false, IDeviceEnumerator::CUSTOMER).getDeviceVector("", 0);
            const bool ok = access(logPath.c_str(), F_OK) != 0 && log.text().find("Normal exit") != std::string::npos;
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
