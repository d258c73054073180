// fuzz_firmware_slots.cpp - diaghost's own slot lookup over arbitrary firmware areas read through a dev/mem file.
//
// Input: bus, device and two flags, a 16-bit offset into the firmware's
// area, then the bytes placed there; the area ends where the input ends (at
// most 64 KiB). The flags make the first table found carry version 1.0 and
// a correct checksum, so that valid tables are met often. The slot and its
// source are held to the oracle's decoder: a slot from the firmware exactly
// when the oracle finds one, and never a slot from elsewhere (the root has
// no slot records).
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "IrqTableOracle.h"
#include "SlotLookup.h"

namespace {

const std::string& Root()
{
    static const std::string root = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/diaghost-fuzz-XXXXXX";
        const std::string path = mkdtemp(&pattern[0]) != nullptr ? pattern : "/tmp";
        mkdir((path + "/dev").c_str(), 0755);
        return path;
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    oracle::Input in;
    if (!oracle::Decode(data, size, diaghost::kFirmwareAreaSize, in)) {
        return 0;
    }
    const std::vector<std::uint8_t>& area = in.image;
    const std::uint8_t bus = in.bus;
    const std::uint8_t device = in.device;
    const int expected = oracle::ExpectedSlot(area, bus, device);

    std::vector<diaghost::IrqSlotEntry> entries;
    std::string problem;
    const int decoded =
        diaghost::decodeIrqTable(area.data(), area.size(), entries, problem) ? diaghost::slotInTable(entries, bus, device) : -1;
    if (decoded != expected) {
        __builtin_trap();
    }

    // The same area as a machine's physical memory: the file holds it at
    // its physical address, and ends where the area does.
    const std::string mem = Root() + "/dev/mem";
    const int fd = open(mem.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) {
        return 0;
    }
    const bool written = pwrite(fd, area.data(), area.size(), diaghost::kFirmwareAreaStart) ==
                         static_cast<ssize_t>(area.size());
    close(fd);
    if (!written) {
        return 0;
    }
    diaghost::SlotLookup lookup(Root());
    const diaghost::SlotAnswer answer = lookup.find(0, bus, device);
    const bool fromFirmware = answer.source == diaghost::SlotSource::Firmware;
    if (fromFirmware != (expected >= 0) || (fromFirmware && answer.slot != expected) ||
        (!fromFirmware && (answer.source != diaghost::SlotSource::Unknown || lookup.problem().empty()))) {
        __builtin_trap();
    }
    return 0;
}
