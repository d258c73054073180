// IrqTableOracle.h - a decoder of the firmware's IRQ routing table written from its layout alone, the answer slot lookups are held to.
//
// An image is the firmware's area from 0xF0000 on; it ends where the bytes
// end, so short images and tables running past the end are covered. The
// first "$PIR" on a 16-byte step decides: its length and checksum, then the
// first entry for the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace oracle {

const std::uint32_t kBiosStart = 0xF0000;
const std::uint32_t kBiosEnd = 0x100000;  // one past the range's last byte

inline unsigned Word(const std::vector<std::uint8_t>& image, std::size_t at)
{
    return image[at] | image[at + 1] << 8;
}

inline unsigned ByteSum(const std::vector<std::uint8_t>& image, std::size_t at, std::size_t length)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        sum += image[at + i];
    }
    return sum;
}

// Offset of the first table signature on a 16-byte step, or -1 when the
// image ends before one is found or the range holds none.
inline long FindTable(const std::vector<std::uint8_t>& image)
{
    for (std::size_t at = 0; kBiosStart + at < kBiosEnd; at += 16) {
        if (at + 32 > image.size()) {
            return -1;
        }
        if (std::memcmp(&image[at], "$PIR", 4) == 0) {
            return static_cast<long>(at);
        }
    }
    return -1;
}

// The slot of the device's first entry; -1 without a valid table or entry.
inline int ExpectedSlot(const std::vector<std::uint8_t>& image, std::uint8_t bus, std::uint8_t device)
{
    const long found = FindTable(image);
    if (found < 0) {
        return -1;
    }
    const std::size_t at = static_cast<std::size_t>(found);
    const std::size_t length = Word(image, at + 6);
    if (length < 32 || length % 16 != 0 || at + length > image.size()) {
        return -1;
    }
    if (ByteSum(image, at, length) % 256 != 0 || image[at + 4] != 0 || image[at + 5] != 1) {
        return -1;
    }
    for (std::size_t entry = at + 32; entry < at + length; entry += 16) {
        if (image[entry] == bus && image[entry + 1] >> 3 == device) {
            return image[entry + 14];
        }
    }
    return -1;
}

// Gives the first table version 1.0 and a byte sum of 0, when its header
// and length lie inside the image: valid tables are rare among random bytes.
inline void MakeValid(std::vector<std::uint8_t>& image, bool version, bool checksum)
{
    const long found = FindTable(image);
    if (found < 0) {
        return;
    }
    const std::size_t at = static_cast<std::size_t>(found);
    if (version) {
        image[at + 4] = 0;
        image[at + 5] = 1;
    }
    const std::size_t length = Word(image, at + 6);
    if (checksum && length >= 32 && at + length <= image.size()) {
        image[at + 31] = 0;
        image[at + 31] = static_cast<std::uint8_t>(256 - ByteSum(image, at, length) % 256);
    }
}

// A fuzz input: bus, device and two flags, a 16-bit offset into the area,
// then the bytes placed there. The flags make the first table carry
// version 1.0 and a correct checksum. False for an input too short.
struct Input {
    std::uint8_t bus = 0;
    std::uint8_t device = 0;
    std::size_t offset = 0;
    std::vector<std::uint8_t> image;
};

inline bool Decode(const std::uint8_t* data, std::size_t size, std::size_t maxImage, Input& input)
{
    if (size < 4) {
        return false;
    }
    input.bus = data[0];
    input.device = data[1] & 31;
    input.offset = static_cast<std::size_t>(data[2] | (data[3] << 8));
    input.image.assign(input.offset, 0);
    input.image.insert(input.image.end(), data + 4, data + size);
    if (input.image.size() > maxImage) {
        input.image.resize(maxImage);
    }
    MakeValid(input.image, (data[1] & 0x40) != 0, (data[1] & 0x80) != 0);
    return true;
}

// Writes the image where a memory file holds the area: from kBiosStart on,
// the file ending where the image ends. False when that fails.
inline bool WriteImage(const std::string& path, const std::vector<std::uint8_t>& image)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written =
        fd >= 0 && pwrite(fd, image.data(), image.size(), kBiosStart) == static_cast<ssize_t>(image.size());
    if (fd >= 0) {
        close(fd);
    }
    return written;
}

}  // namespace oracle
