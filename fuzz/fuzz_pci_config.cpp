// fuzz_pci_config.cpp - the hardware table built over arbitrary PCI configuration files.
//
// The input is split in two files, 00/09.0 and 00/0a.0, so that truncated,
// oversized and matching headers meet in one scan.
#include <cstdint>
#include <cstring>

#include "FuzzRoot.h"
#include "Velk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t first = size / 2;
    fuzzroot::WriteFile("/proc/bus/pci/00/09.0", data, first);
    fuzzroot::WriteFile("/proc/bus/pci/00/0a.0", data + first, size - first);

    hwDevDetailStruct table[kHwDevTableCapacity];
    std::memset(table, 0, sizeof table);
    std::uint32_t count = 0xFFFFFFFF;
    // The modem's IDs, and the IDs taken from the input itself so that
    // matches happen often.
    const int vendor = size >= 2 ? (data[0] | (data[1] << 8)) : 0xE7A5;
    const int device = size >= 4 ? (data[2] | (data[3] << 8)) : 0x0418;
    const int ids[2][2] = {{0x0418, 0xE7A5}, {device, vendor}};
    for (const auto& pair : ids) {
        if (BuildHWDeviceTable(table, &count, pair[0], pair[1]) != 0 || count > 2) {
            __builtin_trap();
        }
    }
    return 0;
}
