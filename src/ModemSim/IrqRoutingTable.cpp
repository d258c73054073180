// IrqRoutingTable.cpp - the bytes of a "$PIR" table as the firmware leaves them in memory.
#include "IrqRoutingTable.h"

#include <algorithm>
#include <cstddef>

namespace modemsim {

std::vector<std::uint8_t> IrqTableBytes(const IrqRoutingTable& table)
{
    const std::size_t trueSize = 32 + 16 * table.slots.size();
    const std::size_t declared = table.tableSize >= 0 ? static_cast<std::size_t>(table.tableSize) : trueSize;

    std::uint8_t header[32] = {'$', 'P', 'I', 'R'};
    header[4] = table.minorVersion;
    header[5] = table.majorVersion;
    header[6] = static_cast<std::uint8_t>(declared & 0xFF);
    header[7] = static_cast<std::uint8_t>((declared >> 8) & 0xFF);
    header[8] = table.routerBus;
    header[9] = table.routerDevFunc;

    std::vector<std::uint8_t> bytes(header, header + sizeof header);
    for (const IrqSlot& slot : table.slots) {
        std::uint8_t entry[16] = {slot.bus, slot.devFunc};
        entry[2] = 0x60;  // INTA link value
        entry[3] = 0xB8;  // IRQs 3-5, 7, 9-12, 14, 15
        entry[4] = 0xDE;
        entry[14] = slot.slotNumber;
        bytes.insert(bytes.end(), entry, entry + sizeof entry);
    }
    // The checksum covers the declared size; bytes past the written ones
    // are zeros in the image and add nothing.
    unsigned sum = 0;
    for (std::size_t i = 0; i < std::min(declared, trueSize); ++i) {
        sum += i == 31 ? 0 : bytes.at(i);
    }
    bytes.at(31) = static_cast<std::uint8_t>((256 - (sum & 0xFF)) + table.checksumError);
    return bytes;
}

}  // namespace modemsim
