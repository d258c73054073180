// PciSlot.h - PCI slot numbers from the BIOS IRQ routing table ("$PIR") in /proc/kcore.
#pragma once

#include <cstddef>
#include <cstdint>

#include "IrqTable.h"
#include "PluginExport.h"
#include "Velk.h"

// Header of the BIOS IRQ routing table as it lies in memory (little-endian,
// 32 bytes). Filled from raw bytes by DecodeIrqTableHeader, never by
// casting a pointer onto memory.
struct _irqTable {
    char signature[4];            // "$PIR"
    std::uint8_t minorVersion;    // 0
    std::uint8_t majorVersion;    // 1
    std::uint16_t tableSize;      // whole table in bytes, header included
    std::uint8_t bus;             // interrupt router's bus
    std::uint8_t devFunc;         // interrupt router's device and function
    std::uint16_t exclusiveIrqs;
    std::uint8_t dontcare[19];    // router IDs, miniport data, reserved
    std::uint8_t checkSum;        // makes the byte sum of the table 0
};
static_assert(sizeof(_irqTable) == 32, "_irqTable layout");
static_assert(offsetof(_irqTable, minorVersion) == 4, "_irqTable layout");
static_assert(offsetof(_irqTable, tableSize) == 6, "_irqTable layout");
static_assert(offsetof(_irqTable, exclusiveIrqs) == 10, "_irqTable layout");
static_assert(offsetof(_irqTable, dontcare) == 12, "_irqTable layout");
static_assert(offsetof(_irqTable, checkSum) == 31, "_irqTable layout");

// One slot of the table, 16 bytes, following the header (read by
// irqtable::SlotOf).
struct slotEntry {
    std::uint8_t bus;
    std::uint8_t dev;             // device number in bits 3-7
    std::uint8_t dontcare[12];    // interrupt pin links and IRQ bitmaps
    std::uint8_t slotNumber;      // 0 for a device built into the system board
    std::uint8_t reserved;
};
static_assert(sizeof(slotEntry) == 16, "slotEntry layout");
static_assert(offsetof(slotEntry, slotNumber) == 14, "slotEntry layout");

static_assert(sizeof(_irqTable) == irqtable::kHeaderSize && sizeof(slotEntry) == irqtable::kEntrySize,
              "the routing table's rules read these layouts");

const std::size_t kIrqTableHeaderSize = sizeof(_irqTable);

extern "C" {

// Slot number (0-255) of the PCI device at bus/device from the table in the
// BIOS range 0xF0000-0xFFFFF, or -1 when the table cannot be read, is
// invalid, or has no entry for the device. Failures are reported.
MODEMDIAG_EXPORT int GetSlotNumber(std::uint8_t bus, std::uint8_t device);

}  // extern "C"

// Internal to the plug-in: decoding and checking the table's bytes (the
// rules are IrqTable.h's, which diaghost shares).
void DecodeIrqTableHeader(const std::uint8_t* bytes, _irqTable* header);
// Whether the table of size bytes (its header's length) is sound: version
// 1.0, whole entries, a byte sum of 0.
Boolean IrqTableValid(const std::uint8_t* table, std::size_t size);
// Slot number of the first entry for bus/device in a valid table, or -1.
int FindSlotInIrqTable(const std::uint8_t* table, std::size_t size, std::uint8_t bus, std::uint8_t device);
