// Slot numbers from the BIOS IRQ routing table in simulated kcore images, valid and broken.
#include <sys/stat.h>

#include "DiscoveryFixture.h"
#include "PciSlot.h"

namespace {

// A kcore image of kcoreSize bytes holding table; size 0 puts a FIFO in
// kcore's place instead, in the last case (writing an image into a FIFO
// would block). A table at address 0 lies outside the BIOS range.
struct SlotCase {
    const char* name;
    modemsim::IrqRoutingTable table;
    int expected;         // the slot of bus 0, device 9, or -1
    const char* message;  // the one line reported, or "" for none
    std::uint64_t kcoreSize = modemsim::SimulatedRoot::kDefaultKcoreSize;
};

// Tables as {address, minor version, major version, slots {bus, devfn, slot},
// size written (-1: the true size), checksum error}; 0x48 is device 9,
// function 0. The lookup reads kcore's file offsets as if they were
// physical addresses, so Offset(a) places a table where the lookup reads
// address a: kKcoreDataOffset lower in physical memory, as on the real
// i386 kernel. kcoreSize is the image's file size.
constexpr std::uint32_t Offset(std::uint32_t address)
{
    return address - static_cast<std::uint32_t>(modemsim::SimulatedRoot::kKcoreDataOffset);
}
const SlotCase kSlotCases[] = {
    {"table at the first address", {Offset(0xF0000), 0, 1, {{0, 0x48, 7}}}, 7, ""},
    {"table at the last address", {Offset(0xFFFF0), 0, 1, {{0, 0x48, 4}}}, 4, ""},
    {"device bits 0-2 ignored (0x4F)", {Offset(0xFDF60), 0, 1, {{0, 0x4F, 5}}}, 5, ""},
    {"first entry wins", {Offset(0xFDF60), 0, 1, {{1, 0x48, 9}, {0, 0x48, 3}, {0, 0x48, 6}}}, 3, ""},
    {"slot 0 is an answer", {Offset(0xFDF60), 0, 1, {{0, 0x48, 0}}}, 0, ""},
    {"32-byte table, no entries", {Offset(0xFDF60), 0, 1, {}}, -1, ""},
    {"table found before a short image ends", {Offset(0xF8000), 0, 1, {{0, 0x48, 2}}}, 2, "", 0xF8040},
    {"signature off the 16-byte grid", {Offset(0xFDF68), 0, 1, {{0, 0x48, 2}}}, -1, "Can't find the IRQ table in /proc/kcore"},
    {"version 1.1", {Offset(0xFDF60), 1, 1, {{0, 0x48, 2}}}, -1, "Invalid IRQ table"},
    {"byte sum 1", {Offset(0xFDF60), 0, 1, {{0, 0x48, 2}}, -1, 1}, -1, "Invalid IRQ table"},
    {"size 0xFFFF too big", {Offset(0xFFF00), 0, 1, {{0, 0x48, 2}}, 0xFFFF}, -1, "Failed to read in /proc/kcore", 0x100100},
    // The header at the last step runs 16 bytes past the range.
    {"image ending with the BIOS range", {0, 0, 1, {}}, -1, "Failed to read in /proc/kcore", 0x100000},
    // Physical 0xFE000 and up lies past the range the lookup reads.
    {"table in the top 8 KiB of physical memory's BIOS range", {0xFE000, 0, 1, {{0, 0x48, 2}}}, -1,
     "Can't find the IRQ table in /proc/kcore"},
    {"kcore is a FIFO", {0, 0, 1, {}}, -1, "Failed to seek in /proc/kcore", 0},
};

}  // namespace

using SlotLookup = DiscoveryTest;

TEST_F(SlotLookup, AnswersAndReports)
{
    for (const SlotCase& c : kSlotCases) {
        SCOPED_TRACE(c.name);
        if (c.kcoreSize == 0) {
            root.removeKcore();
            mkfifo(root.file("/proc/kcore").c_str(), 0644);
        } else {
            root.setIrqTable(c.table, c.kcoreSize);
        }
        testsupport::LogCapture capture;
        SetFunctionName("::GetSlotNumber");
        EXPECT_EQ(c.expected, GetSlotNumber(0, 9));
        EXPECT_EQ(*c.message != '\0' ? std::string("::GetSlotNumber() - ") + c.message + "\n" : "", capture.text());
    }
}
