// diaghost's own slot lookup: the firmware's table through dev/mem first, the kernel's slot records after it, and why neither answered.
#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "IrqRoutingTable.h"
#include "SlotLookup.h"
#include "TestSupport.h"

using diaghost::SlotAnswer;
using diaghost::SlotLookup;
using diaghost::SlotSource;

namespace {

// A sound routing table's bytes: device 4 in slot 3 (function 2, whose bits
// are not compared), device 1 built into the board.
std::vector<std::uint8_t> routingTable()
{
    modemsim::IrqRoutingTable table;
    table.slots = {{0, 4 << 3 | 2, 3}, {0, 1 << 3, 0}};
    return modemsim::IrqTableBytes(table);
}

// A system root in a folder of the case's own, readable by other users.
class SlotRoot : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, chmod(root.c_str(), 0755)); }

    // dev/mem holding the table at the physical address, the file ending at 1 MiB.
    void firmware(const std::vector<std::uint8_t>& table, std::uint32_t address)
    {
        mkdir((root + "/dev").c_str(), 0755);
        const int fd = open((root + "/dev/mem").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(static_cast<ssize_t>(table.size()), pwrite(fd, table.data(), table.size(), address));
        ASSERT_EQ(0, ftruncate(fd, 0x100000));
        close(fd);
    }
    void record(const std::string& name, const std::string& address)
    {
        const std::string folder = root + "/sys/bus/pci/slots/" + name;
        std::filesystem::create_directories(folder);
        testsupport::writeFile(folder + "/address", address);
    }

    testsupport::TempDir tmp;
    const std::string root = tmp.path();
};

// The first signature on the 16-byte grid decides; its table must lie
// whole in the area, and a broken one is named by the part that is wrong
// (which parts can be wrong is the plug-in's rule, tested with it).
TEST(HostSlotTable, TheFirstSignatureDecidesAndMustBeWhole)
{
    const std::string broken = "the firmware's IRQ routing table at 0xF0040 is invalid ";
    const struct {
        const char* what;
        std::size_t at;
        std::uint8_t minorVersion;
        int tableSize;  // -1: the true size
        std::uint8_t checksumError;
        std::string problem;
    } cases[] = {
        {"at the last whole step", 0x10000 - 64, 0, -1, 0, ""},
        {"cut by the area's end", 0xFFF0, 0, -1, 0, "no IRQ routing table"},
        {"its length running past the area", 0xFFE0, 0, -1, 0, "invalid (size)"},
        {"off the grid", 0x48, 0, -1, 0, "no IRQ routing table"},
        {"version 1.1", 0x40, 1, -1, 0, broken + "(version)"},
        {"shorter than its header", 0x40, 0, 16, 0, broken + "(size)"},
        {"a byte sum of 1", 0x40, 0, -1, 1, broken + "(checksum)"},
    };
    for (const auto& c : cases) {
        modemsim::IrqRoutingTable written;
        written.slots = {{0, 4 << 3, 3}, {0, 1 << 3, 0}};
        written.minorVersion = c.minorVersion;
        written.tableSize = c.tableSize;
        written.checksumError = c.checksumError;
        const std::vector<std::uint8_t> bytes = modemsim::IrqTableBytes(written);
        std::vector<std::uint8_t> area(diaghost::kFirmwareAreaSize);
        for (std::size_t i = 0; i < bytes.size() && c.at + i < area.size(); ++i) {
            area[c.at + i] = bytes[i];
        }
        std::vector<std::uint8_t> table;
        std::string problem;
        const bool ok = diaghost::decodeIrqTable(area.data(), area.size(), table, problem);
        EXPECT_EQ(c.problem.empty(), ok) << c.what;
        EXPECT_NE(std::string::npos, problem.find(c.problem)) << c.what << ": " << problem;
        EXPECT_EQ(ok ? bytes : std::vector<std::uint8_t>(), table) << c.what;
    }
}

TEST_F(SlotRoot, FirmwareFirstThenSlotRecordsThenWhyNeither)
{
    firmware(routingTable(), 0xF5C80);
    record("7", "0000:00:05\n");
    record("9", "0000:00:04\n");      // the firmware's answer wins
    record("12", "0001:00:04\n");     // another domain: the firmware's table does not know it
    record("1-1", "0000:00:06\n");    // a name that is no number
    record("8", "0000:02\n");         // a record of a whole bus
    SlotLookup lookup(root);
    const struct {
        unsigned domain, bus, device;
        int slot;
        SlotSource source;
    } cases[] = {
        {0, 0, 4, 3, SlotSource::Firmware}, {0, 0, 1, 0, SlotSource::Firmware}, {0, 0, 5, 7, SlotSource::Sysfs},
        {1, 0, 4, 12, SlotSource::Sysfs},   {0, 0, 6, 0, SlotSource::Unknown},  {0, 2, 0, 0, SlotSource::Unknown},
    };
    for (const auto& c : cases) {
        const SlotAnswer answer = lookup.find(c.domain, c.bus, c.device);
        EXPECT_EQ(c.slot, answer.slot) << c.domain << ":" << c.bus << ":" << c.device;
        EXPECT_EQ(c.source, answer.source) << c.domain << ":" << c.bus << ":" << c.device;
    }
    EXPECT_EQ("the firmware's IRQ routing table lists no such device; no slot record for it in /sys/bus/pci/slots",
              lookup.problem());
}

TEST_F(SlotRoot, NoFirmwareTableFallsBackAndSaysWhy)
{
    SlotLookup missing(root);
    EXPECT_EQ(SlotSource::Unknown, missing.find(0, 0, 4).source);
    EXPECT_EQ("/dev/mem: No such file or directory; no slot records in /sys/bus/pci/slots", missing.problem());

    firmware({}, 0xF0000);
    record("4", "0000:00:04\n");
    SlotLookup empty(root);
    const SlotAnswer answer = empty.find(0, 0, 4);
    EXPECT_EQ(4, answer.slot);
    EXPECT_EQ(SlotSource::Sysfs, answer.source);
    EXPECT_EQ("", empty.problem());
    EXPECT_EQ("no IRQ routing table in the firmware's area", empty.firmwareProblem());
    EXPECT_EQ(SlotSource::Unknown, empty.find(0, 0, 9).source);
    EXPECT_EQ("no IRQ routing table in the firmware's area; no slot record for it in /sys/bus/pci/slots",
              empty.problem());
}

TEST_F(SlotRoot, AnUnprivilegedReaderIsToldTheTableIsRoots)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to drop to another user";
    }
    firmware(routingTable(), 0xF5C80);
    // A child with another user's identity, as a dialout member runs diaghost.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(2);
        }
        SlotLookup lookup(root);
        const bool unknown = lookup.find(0, 0, 4).source == SlotSource::Unknown;
        _exit(unknown && lookup.problem().find("/dev/mem: Permission denied; only root may read it") == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
