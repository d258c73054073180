// fuzz_irq_table.cpp - slot lookup over arbitrary BIOS memory images in /proc/kcore.
//
// Input: bus, device, a 16-bit offset into the BIOS range, then the bytes
// placed there; the image ends where the input ends, so short images and
// tables running past the end are covered too.
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

#include "FuzzRoot.h"
#include "PciSlot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) {
        return 0;
    }
    const std::uint8_t bus = data[0];
    const std::uint8_t device = data[1] & 31;
    const std::uint32_t offset = static_cast<std::uint32_t>(data[2] | (data[3] << 8));
    const std::string kcore = fuzzroot::Root() + "/proc/kcore";
    const int fd = open(kcore.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return 0;
    }
    const off_t at = 0xF0000 + static_cast<off_t>(offset);
    if (pwrite(fd, data + 4, size - 4, at) < 0 || ftruncate(fd, at + static_cast<off_t>(size - 4)) != 0) {
        close(fd);
        return 0;
    }
    close(fd);
    const int slot = GetSlotNumber(bus, device);
    if (slot < -1 || slot > 255) {
        __builtin_trap();
    }
    return 0;
}
