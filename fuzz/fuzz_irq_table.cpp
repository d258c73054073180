// fuzz_irq_table.cpp - slot lookup over arbitrary BIOS memory images in /proc/kcore.
//
// Input: bus, device and two flags, a 16-bit offset into the BIOS range,
// then the bytes placed there; the image ends where the input ends, so
// short images and tables running past the end are covered too. The flags
// make the first table found carry version 1.0 and a correct checksum, so
// that valid tables, rare among random bytes, are met often.
//
// The slot is compared with the answer of the oracle's own decoder.
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "FuzzRoot.h"
#include "IrqTableOracle.h"
#include "PciSlot.h"

using oracle::kBiosStart;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    oracle::Input in;
    if (!oracle::Decode(data, size, SIZE_MAX, in)) {
        return 0;
    }
    const std::vector<std::uint8_t>& image = in.image;
    const std::size_t offset = in.offset;

    const std::string kcore = fuzzroot::Root() + "/proc/kcore";
    const int fd = open(kcore.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return 0;
    }
    const std::size_t written = image.size() - offset;
    const off_t at = kBiosStart + static_cast<off_t>(offset);
    if (pwrite(fd, image.data() + offset, written, at) != static_cast<ssize_t>(written) ||
        ftruncate(fd, at + static_cast<off_t>(written)) != 0) {
        close(fd);
        return 0;
    }
    close(fd);
    fuzzroot::Expect(GetSlotNumber(in.bus, in.device) == oracle::ExpectedSlot(image, in.bus, in.device));
    return 0;
}
