// PCI configuration reads, the n-th match, and the hardware table over simulated procfs trees.
#include <sys/stat.h>

#include <filesystem>
#include <tuple>

#include "DiscoveryFixture.h"
#include "VelkLinux.h"

using modemsim::SimulatedRoot;

namespace {

std::uint32_t Address(unsigned bus, unsigned device, unsigned function = 0)
{
    return 0x80000000u | bus << 16 | device << 11 | function << 8;
}

const std::uint32_t kModemId = 0x0418E7A5;

}  // namespace

using PciAccess = DiscoveryTest;

TEST_F(PciAccess, ConfigReadsWrapTheOffsetAt256AndReadMissingBytesAsZero)
{
    root.addModem(0, 9);
    root.addModem(0, 10);
    std::filesystem::resize_file(root.file("/proc/bus/pci/00/0a.0"), 0x2E);  // ends after the subsystem vendor ID
    const std::tuple<std::uint32_t, int, std::uint32_t> cases[] = {
        {Address(0, 9), 0x100, kModemId},    // 256 wraps to 0
        {Address(0, 10), 0x2C, 0x0000E7A5},  // half a dword before the end
        {Address(0, 10), 0x30, 0},           // past the end
        {Address(0, 11), 0x00, 0},           // no such function
    };
    for (const auto& [devMask, offset, expected] : cases) {
        EXPECT_EQ(expected, PciCfgReadDword(devMask, offset)) << std::hex << devMask << " @" << offset;
    }
    // Words are the low halves: the subsystem vendor ID at 0x2C, the
    // subsystem ID at 0x2E.
    EXPECT_EQ(0xE7A5, PciCfgReadWord(Address(0, 9), 0x2C));
    EXPECT_EQ(0x0001, PciCfgReadWord(Address(0, 9), 0x2E));
}

// Buses 8 and above are never scanned; matches come in bus, device,
// function order whatever order the tree was made in. The hardware table
// takes the first kHwDevTableCapacity of them.
TEST_F(PciAccess, ScanGoesInAscendingOrderOverBusesZeroToSevenAndTheTableStopsAtCapacity)
{
    root.addChipset();
    root.addModem(8, 1);
    for (int i = 39; i >= 0; --i) {
        root.addModem(3 + i / 8, 1 + i % 8);
    }
    modemsim::PciFunction first;
    first.device = 12;
    first.function = 2;
    first.classCode = 0x070002;
    first.subsystemVendorId = 0x1234;  // a card maker other than the chip's
    root.addFunction(first);

    EXPECT_EQ(Address(0, 12, 2), PciFindDevice(kModemId, 0));
    EXPECT_EQ(Address(7, 8), PciFindDevice(kModemId, 40));
    EXPECT_EQ(0u, PciFindDevice(kModemId, 41));

    hwDevDetailStruct table[kHwDevTableCapacity + 1];
    table[kHwDevTableCapacity].deviceID = 0xABAB;
    std::uint32_t count = 0;
    ASSERT_EQ(0, BuildHWDeviceTable(table, &count, 0x10418, 0x2E7A5));  // only the low 16 bits count
    EXPECT_EQ(kHwDevTableCapacity, count);
    EXPECT_EQ(0xABAB, table[kHwDevTableCapacity].deviceID);  // the caller's table ends before it
    EXPECT_EQ(std::make_tuple(0, 12, 2, 0x0418, 0xE7A5, 0x1234, 0x0001, 0x070002u),
              std::make_tuple(table[0].bus, table[0].device, table[0].function, table[0].deviceID, table[0].vendorID,
                              table[0].subsystemVendorID, table[0].subsystemID, table[0].classCode));
}

// Each broken tree gets one line naming what is wrong, and the scan goes on
// with what it can read, without blocking on a FIFO.
TEST_F(PciAccess, BrokenTreesAreReportedAndSkipped)
{
    const std::tuple<void (*)(SimulatedRoot&), std::uint32_t, const char*> cases[] = {
        {[](SimulatedRoot& r) { std::filesystem::resize_file(r.file("/proc/bus/pci/00/09.0"), 0x2D); }, 1,
         "Short PCI configuration file /proc/bus/pci/00/09.0: 45 of 64 bytes"},
        {[](SimulatedRoot& r) { mkfifo(r.file("/proc/bus/pci/00/03.0").c_str(), 0644); }, 1,
         "Short PCI configuration file /proc/bus/pci/00/03.0: 0 of 64 bytes"},
        {[](SimulatedRoot& r) { rename(r.file("/proc/bus/pci").c_str(), r.file("/proc/pci").c_str()); }, 0,
         "Unable to list /proc/bus/pci: No such file or directory"},
    };
    for (const auto& [breakTree, expectedCount, line] : cases) {
        SCOPED_TRACE(line);
        SimulatedRoot broken;
        broken.exportToEnvironment();
        broken.addModem(0, 9);
        breakTree(broken);
        testsupport::LogCapture capture;
        hwDevDetailStruct table[kHwDevTableCapacity];
        std::uint32_t count = 0;
        EXPECT_EQ(0, BuildHWDeviceTable(table, &count, 0x0418, 0xE7A5));
        EXPECT_EQ(expectedCount, count);
        EXPECT_EQ(std::string("Status: Function started\nTessaly Modem Diagnostics: ") + line + "\nStatus: Normal exit\n",
                  capture.text());
    }
}
