// fuzz_pci_config.cpp - the hardware table built over arbitrary PCI configuration files.
//
// The input is split in two files, 00/09.0 and 00/0a.0, so that truncated,
// oversized and matching headers meet in one scan. Each entry of the table
// is compared field by field with what the harness wrote: the IDs searched
// for, the subsystem words at 0x2C and 0x2E, the class code of bytes
// 0x09-0x0B and the place the file's name gives.
#include <cstdint>
#include <cstring>

#include "FuzzRoot.h"
#include "Velk.h"

using fuzzroot::Expect;

namespace {

struct Function {
    const char* path;
    std::int32_t device;
    std::uint8_t header[64];
};

unsigned Word(const std::uint8_t* bytes)
{
    return bytes[0] | bytes[1] << 8;
}

// Whether entry is what the file's header says, found searching for
// deviceID and vendorID.
bool Matches(const hwDevDetailStruct& entry, const Function& function, unsigned deviceID, unsigned vendorID)
{
    const std::uint8_t* header = function.header;
    const std::uint32_t classCode = header[0x0B] << 16 | header[0x0A] << 8 | header[0x09];
    return entry.deviceID == deviceID && entry.vendorID == vendorID && entry.subsystemVendorID == Word(header + 0x2C) &&
           entry.subsystemID == Word(header + 0x2E) && entry.classCode == classCode && entry.bus == 0 &&
           entry.device == function.device && entry.function == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t first = size / 2;
    Function functions[2] = {{"/proc/bus/pci/00/09.0", 9, {}}, {"/proc/bus/pci/00/0a.0", 10, {}}};
    const std::uint8_t* part[2] = {data, data + first};
    const std::size_t length[2] = {first, size - first};
    for (int i = 0; i < 2; ++i) {
        fuzzroot::WriteFile(functions[i].path, part[i], length[i]);
        // Bytes past a short file's end read as 0.
        std::memcpy(functions[i].header, part[i], length[i] < 64 ? length[i] : 64);
    }

    // The modem's IDs, and the IDs taken from the input itself so that
    // matches happen often.
    const unsigned vendor = size >= 2 ? (data[0] | (data[1] << 8)) : 0xE7A5;
    const unsigned device = size >= 4 ? (data[2] | (data[3] << 8)) : 0x0418;
    const unsigned ids[2][2] = {{0x0418, 0xE7A5}, {device, vendor}};
    for (const auto& pair : ids) {
        hwDevDetailStruct table[kHwDevTableCapacity];
        std::memset(table, 0xEE, sizeof table);
        std::uint32_t count = 0xFFFFFFFF;
        Expect(BuildHWDeviceTable(table, &count, static_cast<int>(pair[0]), static_cast<int>(pair[1])) == 0);
        // The functions whose first dword holds the IDs, in scan order.
        std::uint32_t expected = 0;
        for (const Function& function : functions) {
            if (Word(function.header) != pair[1] || Word(function.header + 2) != pair[0]) {
                continue;
            }
            Expect(expected < count && Matches(table[expected], function, pair[0], pair[1]));
            ++expected;
        }
        Expect(count == expected);
    }
    return 0;
}
