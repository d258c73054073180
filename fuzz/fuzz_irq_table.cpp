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
#include <vector>

#include "FuzzRoot.h"
#include "IrqTableOracle.h"
#include "PciSlot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    oracle::Input in;
    if (oracle::Decode(data, size, SIZE_MAX, in) && oracle::WriteImage(fuzzroot::Root() + "/proc/kcore", in.image)) {
        fuzz::Expect(GetSlotNumber(in.bus, in.device) == oracle::ExpectedSlot(in.image, in.bus, in.device));
    }
    return 0;
}
