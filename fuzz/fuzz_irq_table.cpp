// fuzz_irq_table.cpp - slot lookup over arbitrary BIOS memory images in /proc/kcore.
//
// Input: bus, device and two flags, a 16-bit offset into the BIOS range,
// then the bytes placed there; the image ends where the input ends, so
// short images and tables running past the end are covered too. The flags
// make the first table found carry version 1.0 and a correct checksum, so
// that valid tables, rare among random bytes, are met often.
//
// The slot is compared with the answer of a decoder written here from the
// table's layout alone: the first "$PIR" on a 16-byte step, its length and
// checksum, then the first entry for the device.
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "FuzzRoot.h"
#include "PciSlot.h"

namespace {

const std::uint32_t kBiosStart = 0xF0000;
const std::uint32_t kBiosEnd = 0x100000;  // one past the range's last byte

// The file from kBiosStart on; everything before the input's bytes reads 0.
struct Image {
    std::vector<std::uint8_t> bytes;

    std::size_t Size() const { return bytes.size(); }
    unsigned Word(std::size_t at) const { return bytes[at] | bytes[at + 1] << 8; }
};

// Offset of the first table signature on a 16-byte step, or -1 when the
// file ends before one is found (the read of its header fails) or the range
// holds none.
long FindTable(const Image& image)
{
    for (std::size_t at = 0; kBiosStart + at < kBiosEnd; at += 16) {
        if (at + 32 > image.Size()) {
            return -1;
        }
        if (std::memcmp(&image.bytes[at], "$PIR", 4) == 0) {
            return static_cast<long>(at);
        }
    }
    return -1;
}

int ExpectedSlot(const Image& image, std::uint8_t bus, std::uint8_t device)
{
    const long found = FindTable(image);
    if (found < 0) {
        return -1;
    }
    const std::size_t at = static_cast<std::size_t>(found);
    const std::size_t length = image.Word(at + 6);
    if (length < 32 || length % 16 != 0 || at + length > image.Size()) {
        return -1;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        sum += image.bytes[at + i];
    }
    if (sum % 256 != 0 || image.bytes[at + 4] != 0 || image.bytes[at + 5] != 1) {
        return -1;
    }
    for (std::size_t entry = at + 32; entry < at + length; entry += 16) {
        if (image.bytes[entry] == bus && image.bytes[entry + 1] >> 3 == device) {
            return image.bytes[entry + 14];
        }
    }
    return -1;
}

// Gives the first table version 1.0 and a byte sum of 0, when its header
// and length lie inside the image.
void MakeValid(Image& image, bool version, bool checksum)
{
    const long found = FindTable(image);
    if (found < 0) {
        return;
    }
    const std::size_t at = static_cast<std::size_t>(found);
    if (version) {
        image.bytes[at + 4] = 0;
        image.bytes[at + 5] = 1;
    }
    const std::size_t length = image.Word(at + 6);
    if (checksum && length >= 32 && at + length <= image.Size()) {
        unsigned sum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            sum += i == 31 ? 0 : image.bytes[at + i];
        }
        image.bytes[at + 31] = static_cast<std::uint8_t>(256 - sum % 256);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) {
        return 0;
    }
    const std::uint8_t bus = data[0];
    const std::uint8_t device = data[1] & 31;
    const std::size_t offset = static_cast<std::size_t>(data[2] | (data[3] << 8));
    Image image;
    image.bytes.assign(offset, 0);
    image.bytes.insert(image.bytes.end(), data + 4, data + size);
    MakeValid(image, (data[1] & 0x40) != 0, (data[1] & 0x80) != 0);

    const std::string kcore = fuzzroot::Root() + "/proc/kcore";
    const int fd = open(kcore.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return 0;
    }
    const std::size_t written = image.Size() - offset;
    const off_t at = kBiosStart + static_cast<off_t>(offset);
    if (pwrite(fd, image.bytes.data() + offset, written, at) != static_cast<ssize_t>(written) ||
        ftruncate(fd, at + static_cast<off_t>(written)) != 0) {
        close(fd);
        return 0;
    }
    close(fd);
    if (GetSlotNumber(bus, device) != ExpectedSlot(image, bus, device)) {
        __builtin_trap();
    }
    return 0;
}
