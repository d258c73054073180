// IrqTable.h - the firmware's PCI IRQ routing table ("$PIR"): where it lies, when it is sound, what its entries say.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The plug-in reads the table through /proc/kcore, diaghost through
// /dev/mem where a kernel maps no firmware area into kcore; both judge the
// bytes by these rules. Header only, so that the host shares them without
// linking the plug-in. Multi-byte fields are assembled byte by byte: a copy
// of memory has no alignment to count on.
namespace irqtable {

// The firmware leaves the table on a 16-byte boundary of 0xF0000-0xFFFFF.
constexpr std::uint32_t kAreaStart = 0xF0000;
constexpr std::size_t kAreaSize = 0x10000;
constexpr std::uint32_t kStep = 16;
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kEntrySize = 16;

// Whether the 4 bytes at bytes are the table's signature.
inline bool IsSignature(const std::uint8_t* bytes)
{
    return std::memcmp(bytes, "$PIR", 4) == 0;
}

// The header's length of the whole table, header included.
inline std::size_t Length(const std::uint8_t* header)
{
    return static_cast<std::size_t>(header[6] | header[7] << 8);
}

enum class Fault { None, Version, Size, Checksum };

// What is wrong with the table at table, of which available bytes can be
// read: a version other than 1.0; a length shorter than a header, not a
// multiple of 16, or longer than what is there; a byte sum other than 0
// modulo 256. Nothing is looked at in fewer bytes than a header.
inline Fault Check(const std::uint8_t* table, std::size_t available)
{
    if (available < kHeaderSize) {
        return Fault::Size;
    }
    if (table[4] != 0 || table[5] != 1) {
        return Fault::Version;
    }
    const std::size_t length = Length(table);
    if (length < kHeaderSize || length % kEntrySize != 0 || length > available) {
        return Fault::Size;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        sum += table[i];
    }
    return (sum & 0xFF) != 0 ? Fault::Checksum : Fault::None;
}

// The slot number (0: built into the system board) of the first entry for
// bus and device in a sound table of length bytes, or -1 when none names
// it. An entry's device number is in bits 3-7 of its second byte (bits 0-2
// carry none); its slot number is its byte 14.
inline int SlotOf(const std::uint8_t* table, std::size_t length, unsigned bus, unsigned device)
{
    for (std::size_t entry = kHeaderSize; entry + kEntrySize <= length; entry += kEntrySize) {
        if (table[entry] == bus && (table[entry + 1] >> 3) == device) {
            return table[entry + 14];
        }
    }
    return -1;
}

}  // namespace irqtable
