// diaghost's own slot lookup: the firmware's table through dev/mem first, the kernel's slot records after it, and why neither answered.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "SlotLookup.h"

using diaghost::SlotAnswer;
using diaghost::SlotLookup;
using diaghost::SlotSource;

namespace {

struct Entry {
    std::uint8_t bus, device, slot;
};

// A routing table with a correct byte sum.
std::vector<std::uint8_t> routingTable(const std::vector<Entry>& entries)
{
    std::vector<std::uint8_t> table = {'$', 'P', 'I', 'R', 0, 1};
    const std::size_t length = 32 + 16 * entries.size();
    table.push_back(static_cast<std::uint8_t>(length));
    table.push_back(static_cast<std::uint8_t>(length >> 8));
    table.resize(32);
    for (const Entry& entry : entries) {
        std::vector<std::uint8_t> row(16);
        row[0] = entry.bus;
        row[1] = static_cast<std::uint8_t>(entry.device << 3 | 2);  // the function bits are not compared
        row[14] = entry.slot;
        table.insert(table.end(), row.begin(), row.end());
    }
    unsigned sum = 0;
    for (std::uint8_t byte : table) {
        sum += byte;
    }
    table[31] = static_cast<std::uint8_t>(256 - sum % 256);
    return table;
}

class SlotRoot : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/slot-lookup-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root = pattern;
        chmod(pattern, 0755);
        mkdir((root + "/dev").c_str(), 0755);
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    // dev/mem holding the table at the physical address, the file ending at 1 MiB.
    void firmware(const std::vector<std::uint8_t>& table, std::uint32_t address)
    {
        const int fd = open((root + "/dev/mem").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(static_cast<ssize_t>(table.size()), pwrite(fd, table.data(), table.size(), address));
        ASSERT_EQ(0, ftruncate(fd, 0x100000));
        close(fd);
    }
    void record(const std::string& name, const std::string& address)
    {
        const std::string folder = root + "/sys/bus/pci/slots/" + name;
        ASSERT_EQ(0, std::system(("mkdir -p " + folder).c_str()));
        std::ofstream(folder + "/address") << address;
    }

    std::string root;
};

TEST(HostSlotTable, TheFirstSignatureDecidesAndMustBeWhole)
{
    const std::vector<std::uint8_t> good = routingTable({{0, 4, 3}, {0, 4, 8}, {0, 1, 0}});
    struct {
        const char* what;
        std::size_t at;
        std::vector<std::uint8_t> table;
        std::size_t areaSize;
        int slotOfDevice4;
        const char* problem;
    } cases[] = {
        {"valid", 0x5C80, good, 0x10000, 3, ""},
        {"at the last whole step", 0x10000 - good.size(), good, 0x10000, 3, ""},
        {"cut by the area's end", 0xFFF0, good, 0x10000, -1, "no IRQ routing table"},
        {"its length running past the area", 0xFFE0, good, 0x10000, -1, "invalid (size)"},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> area(c.areaSize);
        for (std::size_t i = 0; i < c.table.size() && c.at + i < area.size(); ++i) {
            area[c.at + i] = c.table[i];
        }
        std::vector<diaghost::IrqSlotEntry> entries;
        std::string problem;
        const bool ok = diaghost::decodeIrqTable(area.data(), area.size(), entries, problem);
        EXPECT_EQ(c.problem[0] == '\0', ok) << c.what;
        EXPECT_NE(std::string::npos, problem.find(c.problem)) << c.what << ": " << problem;
        EXPECT_EQ(c.slotOfDevice4, ok ? diaghost::slotInTable(entries, 0, 4) : -1) << c.what;
    }

    // Broken headers are named; a signature off the 16-byte grid is not one.
    struct {
        std::size_t byte;
        std::uint8_t value;
        const char* problem;
    } broken[] = {{4, 1, "(version)"}, {6, 40, "(size)"}, {31, 0, "(checksum)"}};
    for (const auto& b : broken) {
        std::vector<std::uint8_t> area(0x10000);
        std::vector<std::uint8_t> table = good;
        table[b.byte] = b.value == 0 ? static_cast<std::uint8_t>(table[b.byte] + 1) : b.value;
        std::copy(table.begin(), table.end(), area.begin() + 0x40);
        std::vector<diaghost::IrqSlotEntry> entries;
        std::string problem;
        EXPECT_FALSE(diaghost::decodeIrqTable(area.data(), area.size(), entries, problem));
        EXPECT_EQ("the firmware's IRQ routing table at 0xF0040 is invalid " + std::string(b.problem), problem);
    }
    std::vector<std::uint8_t> area(0x10000);
    std::copy(good.begin(), good.end(), area.begin() + 0x48);
    std::vector<diaghost::IrqSlotEntry> entries;
    std::string problem;
    EXPECT_FALSE(diaghost::decodeIrqTable(area.data(), area.size(), entries, problem));
}

TEST_F(SlotRoot, FirmwareFirstThenSlotRecordsThenWhyNeither)
{
    firmware(routingTable({{0, 4, 3}, {0, 1, 0}}), 0xF5C80);
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
    firmware(routingTable({{0, 4, 3}}), 0xF5C80);
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
