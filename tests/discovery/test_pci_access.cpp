// PCI configuration reads, the n-th match, and the hardware table over simulated procfs trees.
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "DiscoveryFixture.h"
#include "VelkLinux.h"

using modemsim::PciFunction;

namespace {

PciFunction Modem(int bus, int device, int function = 0)
{
    PciFunction modem;
    modem.bus = bus;
    modem.device = device;
    modem.function = function;
    modem.subsystemVendorId = 0x1234;
    modem.subsystemId = 0x5678;
    return modem;
}

std::uint32_t Address(unsigned bus, unsigned device, unsigned function)
{
    return 0x80000000u | bus << 16 | device << 11 | function << 8;
}

const std::uint32_t kModemId = 0x0418E7A5;

}  // namespace

using PciAccess = DiscoveryTest;

TEST_F(PciAccess, ConfigReadsTakeTheLowOffsetByteAndReadMissingBytesAsZero)
{
    root.addFunction(Modem(0, 9));
    PciFunction shortFile = Modem(0, 10);
    shortFile.truncateTo = 0x2E;  // ends after the subsystem vendor ID
    root.addFunction(shortFile);

    struct Case {
        std::uint32_t devMask;
        int offset;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {Address(0, 9, 0), 0x00, kModemId},
        {Address(0, 9, 0) & 0x7FFFFFFF, 0x00, kModemId},  // bit 31 is not needed
        {Address(0, 9, 0), 0x2C, 0x56781234},
        {Address(0, 9, 0), 0x100, kModemId},     // 256 wraps to 0
        {Address(0, 9, 0), 0x12C, 0x56781234},   // 0x12C wraps to 0x2C
        {Address(0, 9, 0), -0x100, kModemId},    // only the low 8 bits count
        {Address(0, 10, 0), 0x2C, 0x00001234},   // half a dword before the end
        {Address(0, 10, 0), 0x30, 0},            // past the end
        {Address(0, 11, 0), 0x00, 0},            // no such function
        {Address(8, 0, 0), 0x00, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, PciCfgReadDword(c.devMask, c.offset)) << std::hex << c.devMask << " @" << c.offset;
    }
    EXPECT_EQ(0x1234, PciCfgReadWord(Address(0, 9, 0), 0x2C));
    EXPECT_EQ(0x5678, PciCfgReadWord(Address(0, 9, 0), 0x2E));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(PciAccess, FindDeviceCountsMatchesInScanOrderOnBusesZeroToSeven)
{
    root.addChipset();
    root.addFunction(Modem(8, 1));  // beyond the scanned buses
    root.addFunction(Modem(2, 4));
    root.addFunction(Modem(0, 9, 1));

    EXPECT_EQ(Address(0, 9, 1), PciFindDevice(kModemId, 0));
    EXPECT_EQ(Address(2, 4, 0), PciFindDevice(kModemId, 1));
    EXPECT_EQ(0u, PciFindDevice(kModemId, 2));
    EXPECT_EQ(0u, PciFindDevice(kModemId, -1));
    EXPECT_EQ(Address(0, 7, 1), PciFindDevice(0x71118086, 0));
    EXPECT_EQ(0u, PciFindDevice(0, 0));  // absent functions never match
}

TEST_F(PciAccess, HardwareTableListsTheModemFunctionsInAscendingOrder)
{
    root.addChipset();
    root.addFunction(Modem(3, 0));
    root.addFunction(Modem(8, 2));
    PciFunction second = Modem(0, 12, 2);
    second.classCode = 0x070002;
    second.subsystemId = 0x0042;
    root.addFunction(second);

    hwDevDetailStruct table[kHwDevTableCapacity];
    std::memset(table, 0, sizeof table);
    std::uint32_t count = 99;
    SetFunctionName("::BuildHWDeviceTable");
    ASSERT_EQ(0, BuildHWDeviceTable(table, &count, 0x10418, 0x2E7A5));  // only the low 16 bits count

    ASSERT_EQ(2u, count);
    EXPECT_EQ(0, table[0].bus);
    EXPECT_EQ(12, table[0].device);
    EXPECT_EQ(2, table[0].function);
    EXPECT_EQ(0x0418, table[0].deviceID);
    EXPECT_EQ(0xE7A5, table[0].vendorID);
    EXPECT_EQ(0x1234, table[0].subsystemVendorID);
    EXPECT_EQ(0x0042, table[0].subsystemID);
    EXPECT_EQ(0x070002u, table[0].classCode);
    EXPECT_EQ(3, table[1].bus);
    EXPECT_EQ(0, table[1].device);
    EXPECT_EQ(0x5678, table[1].subsystemID);
    EXPECT_EQ(0, table[2].deviceID);

    const std::vector<std::string> expected = {
        "::BuildHWDeviceTable() - Function started",
        "::BuildHWDeviceTable() - Normal exit",
    };
    EXPECT_EQ(expected, log.lines());
}

TEST_F(PciAccess, HardwareTableOfAMachineWithoutTheModemIsEmpty)
{
    root.addChipset();
    hwDevDetailStruct table[kHwDevTableCapacity];
    std::uint32_t count = 7;
    EXPECT_EQ(0, BuildHWDeviceTable(table, &count, 0x0418, 0xE7A5));
    EXPECT_EQ(0u, count);
}

TEST_F(PciAccess, HardwareTableStopsAtItsCapacity)
{
    for (int i = 0; i < 40; ++i) {
        root.addModem(i / 8, i % 8 + 1);
    }
    hwDevDetailStruct table[kHwDevTableCapacity + 1];
    std::memset(table, 0xAB, sizeof table);
    std::uint32_t count = 0;
    ASSERT_EQ(0, BuildHWDeviceTable(table, &count, 0x0418, 0xE7A5));

    EXPECT_EQ(kHwDevTableCapacity, count);
    EXPECT_EQ(3, table[31].bus);
    EXPECT_EQ(8, table[31].device);
    EXPECT_EQ(0xABAB, table[32].deviceID);  // the caller's table ends before it
    EXPECT_EQ(1u, linesWith("More than 32 matching PCI functions; only the first 32 are listed").size());
}

// Each broken tree gets one line naming what is wrong, and the scan goes on
// with what it can read.
TEST_F(PciAccess, BrokenTreesAreReportedAndSkipped)
{
    struct Case {
        const char* name;
        void (*breakTree)(modemsim::SimulatedRoot&);
        std::uint32_t count;
        const char* line;
    };
    const Case cases[] = {
        {"empty config file",
         [](modemsim::SimulatedRoot& r) {
             PciFunction empty = Modem(0, 3);
             empty.truncateTo = 0;
             r.addFunction(empty);
         },
         1, "Tessaly Modem Diagnostics: Short PCI configuration file /proc/bus/pci/00/03.0: 0 of 64 bytes"},
        {"truncated modem file",
         [](modemsim::SimulatedRoot& r) {
             PciFunction cut = Modem(0, 3);
             cut.truncateTo = 0x2D;
             r.addFunction(cut);
         },
         2, "Tessaly Modem Diagnostics: Short PCI configuration file /proc/bus/pci/00/03.0: 45 of 64 bytes"},
        {"bus entry that is a file",
         [](modemsim::SimulatedRoot& r) { testsupport::writeFile(r.file("/proc/bus/pci/01"), "x"); },
         1, "Tessaly Modem Diagnostics: Unable to list /proc/bus/pci/01: Not a directory"},
        {"function entry that is a folder",
         [](modemsim::SimulatedRoot& r) { mkdir(r.file("/proc/bus/pci/00/03.0").c_str(), 0755); },
         1, "Tessaly Modem Diagnostics: Unable to read /proc/bus/pci/00/03.0: Is a directory"},
        {"function entry that is a FIFO",
         [](modemsim::SimulatedRoot& r) { mkfifo(r.file("/proc/bus/pci/00/03.0").c_str(), 0644); },
         1, "Tessaly Modem Diagnostics: Short PCI configuration file /proc/bus/pci/00/03.0: 0 of 64 bytes"},
        {"no PCI folder",
         [](modemsim::SimulatedRoot& r) { rename(r.file("/proc/bus/pci").c_str(), r.file("/proc/pci").c_str()); },
         0, "Tessaly Modem Diagnostics: Unable to list /proc/bus/pci: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        modemsim::SimulatedRoot broken;
        broken.exportToEnvironment();
        broken.addModem(0, 9);
        c.breakTree(broken);
        testsupport::LogCapture capture;

        hwDevDetailStruct table[kHwDevTableCapacity];
        std::uint32_t count = 0;
        EXPECT_EQ(0, BuildHWDeviceTable(table, &count, 0x0418, 0xE7A5));
        EXPECT_EQ(c.count, count);
        const std::vector<std::string> lines = capture.lines();
        ASSERT_EQ(3u, lines.size());
        EXPECT_EQ(c.line, lines[1]);
    }
}
