// Slot numbers from the BIOS IRQ routing table in simulated kcore images, valid and broken.
#include <cctype>
#include <sys/stat.h>

#include "DiscoveryFixture.h"
#include "PciSlot.h"
#include "VelkLinux.h"

using modemsim::IrqRoutingTable;
using modemsim::SimulatedRoot;

namespace {

IrqRoutingTable Table(std::vector<modemsim::IrqSlot> slots, std::uint32_t address = 0xFDF60)
{
    IrqRoutingTable table;
    table.address = address;
    table.slots = std::move(slots);
    return table;
}

struct SlotCase {
    const char* name;
    void (*build)(SimulatedRoot&);
    std::uint8_t bus;
    std::uint8_t device;
    int expected;
    const char* message;  // the one line reported, or "" for none
};

const SlotCase kSlotCases[] = {
    {"table at the last step address", [](SimulatedRoot& r) { r.setIrqTable(Table({{0, 9 << 3, 4}}, 0xFFFF0)); },
     0, 9, 4, ""},
    {"table at the first address", [](SimulatedRoot& r) { r.setIrqTable(Table({{2, 4 << 3, 7}}, 0xF0000)); }, 2, 4,
     7, ""},
    {"device bits 0-2 are ignored (0x48)", [](SimulatedRoot& r) { r.setIrqTable(Table({{0, 0x48, 5}})); }, 0, 9, 5,
     ""},
    {"device bits 0-2 are ignored (0x4F)", [](SimulatedRoot& r) { r.setIrqTable(Table({{0, 0x4F, 5}})); }, 0, 9, 5,
     ""},
    {"first entry wins", [](SimulatedRoot& r) { r.setIrqTable(Table({{1, 0x10, 9}, {0, 0x48, 3}, {0, 0x48, 6}})); },
     0, 9, 3, ""},
    {"slot 0 is an answer", [](SimulatedRoot& r) { r.setIrqTable(Table({{0, 0x48, 0}})); }, 0, 9, 0, ""},
    {"bus must match too", [](SimulatedRoot& r) { r.setIrqTable(Table({{1, 0x48, 2}})); }, 0, 9, -1, ""},
    {"header-only table", [](SimulatedRoot& r) { r.setIrqTable(Table({})); }, 0, 9, -1, ""},
    {"signature off the 16-byte grid",
     [](SimulatedRoot& r) {
         r.setKcore();
         r.writeKcore(0xFDF68, SimulatedRoot::irqTableBytes(Table({{0, 0x48, 2}})));
     },
     0, 9, -1, "Can't find the IRQ table in /proc/kcore"},
    {"no table", [](SimulatedRoot& r) { r.setKcore(); }, 0, 9, -1, "Can't find the IRQ table in /proc/kcore"},
    {"size not a multiple of 16",
     [](SimulatedRoot& r) {
         IrqRoutingTable table = Table({{0, 0x48, 2}});
         table.tableSize = 40;
         r.setIrqTable(table);
     },
     0, 9, -1, "Invalid IRQ table"},
    {"size below a header",
     [](SimulatedRoot& r) {
         IrqRoutingTable table = Table({});
         table.tableSize = 16;
         r.setIrqTable(table);
     },
     0, 9, -1, "Invalid IRQ table"},
    {"size 0",
     [](SimulatedRoot& r) {
         IrqRoutingTable table = Table({});
         table.tableSize = 0;
         r.setIrqTable(table);
     },
     0, 9, -1, "Invalid IRQ table"},
    {"version 0.1",
     [](SimulatedRoot& r) {
         IrqRoutingTable table = Table({{0, 0x48, 2}});
         table.minorVersion = 1;
         table.majorVersion = 0;
         r.setIrqTable(table);
     },
     0, 9, -1, "Invalid IRQ table"},
    {"byte sum 1",
     [](SimulatedRoot& r) {
         IrqRoutingTable table = Table({{0, 0x48, 2}});
         table.checksumError = 1;
         r.setIrqTable(table);
     },
     0, 9, -1, "Invalid IRQ table"},
    {"size 0xFFFF running past the end of the image",
     [](SimulatedRoot& r) {
         IrqRoutingTable table = Table({{0, 0x48, 2}}, 0xFFF00);
         table.tableSize = 0xFFFF;
         r.setIrqTable(table, 0x100100);
     },
     0, 9, -1, "Failed to read in /proc/kcore"},
    {"image shorter than the BIOS range", [](SimulatedRoot& r) { r.setKcore(0xE0000); }, 0, 9, -1,
     "Failed to read in /proc/kcore"},
    // The header at the last step runs 16 bytes past the range.
    {"image ending with the BIOS range", [](SimulatedRoot& r) { r.setKcore(0x100000); }, 0, 9, -1,
     "Failed to read in /proc/kcore"},
    {"table found before a short image ends",
     [](SimulatedRoot& r) { r.setIrqTable(Table({{0, 0x48, 2}}, 0xF8000), 0xF8040); }, 0, 9, 2, ""},
    {"no kcore", [](SimulatedRoot& r) { r.removeKcore(); }, 0, 9, -1, "Failed to open /proc/kcore"},
    {"kcore is a FIFO", [](SimulatedRoot& r) { mkfifo(r.file("/proc/kcore").c_str(), 0644); }, 0, 9, -1,
     "Failed to seek in /proc/kcore"},
};

}  // namespace

class SlotLookup : public DiscoveryTest, public ::testing::WithParamInterface<SlotCase> {};

TEST_P(SlotLookup, AnswersAndReports)
{
    const SlotCase& c = GetParam();
    c.build(root);
    SetFunctionName("::GetSlotNumber");

    EXPECT_EQ(c.expected, GetSlotNumber(c.bus, c.device));

    std::vector<std::string> expected;
    if (c.message[0] != '\0') {
        expected.push_back(std::string("::GetSlotNumber() - ") + c.message);
    }
    EXPECT_EQ(expected, log.lines());
}

INSTANTIATE_TEST_SUITE_P(Tables, SlotLookup, ::testing::ValuesIn(kSlotCases),
                         [](const ::testing::TestParamInfo<SlotCase>& param) {
                             std::string name;
                             for (const char* p = param.param.name; *p != '\0'; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

using PhysMem = DiscoveryTest;

TEST_F(PhysMem, ReadsExactlyOrReportsOnce)
{
    root.setKcore(0x1000);
    root.writeKcore(0xFF0, {1, 2, 3, 4});
    FILE* kcore = InitPhysMem();
    ASSERT_NE(kInvalidPhysMem, kcore);

    unsigned char bytes[4] = {};
    EXPECT_EQ(0u, ReadPhysMem(kcore, 0xFF0, bytes, sizeof bytes));
    EXPECT_EQ(3, bytes[2]);
    EXPECT_EQ(0xFFFFFFFFu, ReadPhysMem(kcore, 0xFFE, bytes, sizeof bytes));  // two bytes short
    EXPECT_EQ(0, ClosePhysMem(kcore));

    EXPECT_EQ(-1, ClosePhysMem(kInvalidPhysMem));
    const std::vector<std::string> expected = {
        "Tessaly Modem Diagnostics: Failed to read in /proc/kcore",
        "Tessaly Modem Diagnostics: Error closing /proc/kcore",
    };
    EXPECT_EQ(expected, log.lines());
}
