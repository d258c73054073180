// fuzz_firmware_slots.cpp - diaghost's own slot lookup over arbitrary firmware areas read through a dev/mem file.
//
// Input: bus, device and two flags, a 16-bit offset into the firmware's
// area, then the bytes placed there; the area ends where the input ends (at
// most 64 KiB). The flags make the first table found carry version 1.0 and
// a correct checksum, so that valid tables are met often. The lookup's slot
// and its source are held to the oracle's decoder: a slot from the firmware
// exactly when the oracle finds one, and never a slot from elsewhere (the
// root has no slot records).
#include <cstdint>
#include <string>
#include <vector>

#include "Fuzz.h"
#include "IrqTableOracle.h"
#include "SlotLookup.h"

using fuzz::Expect;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    oracle::Input in;
    if (!oracle::Decode(data, size, diaghost::kFirmwareAreaSize, in)) {
        return 0;
    }
    const int expected = oracle::ExpectedSlot(in.image, in.bus, in.device);
    // The area as a machine's physical memory: the lookup reads it back
    // whole and decodes it.
    static const std::string root = fuzz::Folder({"/dev"});
    if (!oracle::WriteImage(root + "/dev/mem", in.image)) {
        return 0;
    }
    diaghost::SlotLookup lookup(root);
    const diaghost::SlotAnswer answer = lookup.find(0, in.bus, in.device);
    const bool fromFirmware = answer.source == diaghost::SlotSource::Firmware;
    Expect(fromFirmware == (expected >= 0) && (!fromFirmware || answer.slot == expected) &&
           (fromFirmware || (answer.source == diaghost::SlotSource::Unknown && !lookup.problem().empty())));
    return 0;
}
