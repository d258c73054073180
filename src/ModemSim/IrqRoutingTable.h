// IrqRoutingTable.h - the firmware's PCI IRQ routing table ("$PIR") of a simulated machine, and its bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace modemsim {

// One slot entry of the BIOS IRQ routing table.
struct IrqSlot {
    std::uint8_t bus = 0;
    std::uint8_t devFunc = 0;  // device << 3 | function; the plug-in compares bits 3-7 only
    std::uint8_t slotNumber = 0;
};

// The "$PIR" table the BIOS leaves between 0xF0000 and 0xFFFFF. Everything
// that the plug-in checks can be broken on purpose.
struct IrqRoutingTable {
    // Physical address; an i386 kernel's proc/kcore holds it
    // SimulatedRoot::kKcoreDataOffset bytes further on.
    std::uint32_t address = 0xFDF60;
    std::uint8_t minorVersion = 0;    // a valid table has version 1.0
    std::uint8_t majorVersion = 1;
    std::vector<IrqSlot> slots;
    // Size written into the header; negative writes the true size,
    // 32 + 16 * slots.size().
    int tableSize = -1;
    // Added to the correct checksum byte: nonzero makes the byte sum wrong.
    std::uint8_t checksumError = 0;
    std::uint8_t routerBus = 0;        // interrupt router's bus and devfn
    std::uint8_t routerDevFunc = 0x38;
};

// The table as the firmware leaves it in memory: header, slot entries,
// checksum (less what the table breaks on purpose).
std::vector<std::uint8_t> IrqTableBytes(const IrqRoutingTable& table);

}  // namespace modemsim
