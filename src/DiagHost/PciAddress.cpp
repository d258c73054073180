// PciAddress.cpp - parses, prints and looks up PCI addresses; reads the slot text.
#include "PciAddress.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "PluginContract.h"

namespace diaghost {

namespace {

// Reads a literal at text[at] and moves past it.
bool literal(const std::string& text, std::size_t& at, const char* expected)
{
    const std::size_t length = std::strlen(expected);
    if (text.compare(at, length, expected) != 0) {
        return false;
    }
    at += length;
    return true;
}

// The number that text[at, end) is written as in base, at most limit (no
// sign, no blank: digits only); at moves to end.
bool number(const std::string& text, std::size_t& at, std::size_t end, int base, unsigned long limit,
            unsigned* value)
{
    unsigned long read = 0;
    const char* last = text.data() + end;
    const std::from_chars_result result = std::from_chars(text.data() + at, last, read, base);
    at = end;
    *value = static_cast<unsigned>(read);
    return result.ec == std::errc() && result.ptr == last && read <= limit;
}

}  // namespace

PciAddress PciAddress::parse(const std::string& text)
{
    const std::string full = text.size() == 7 ? "0000:" + text : text;
    PciAddress address;
    std::size_t at = 0;
    address.valid = full.size() == 12 && number(full, at, 4, 16, 0xFFFF, &address.domain) &&
                    literal(full, at, ":") && number(full, at, 7, 16, 0xFF, &address.bus) && literal(full, at, ":") &&
                    number(full, at, 10, 16, 0xFF, &address.device) && literal(full, at, ".") &&
                    number(full, at, 12, 16, 7, &address.function);
    return address.valid ? address : PciAddress();
}

PciAddress PciAddress::fromLocation(const std::string& location)
{
    PciAddress address;
    address.valid = modemdiag::ReadLocation(location, &address.bus, &address.device, &address.function);
    return address.valid ? address : PciAddress();
}

std::string PciAddress::text() const
{
    if (!valid) {
        return std::string();
    }
    char text[24];
    std::snprintf(text, sizeof text, "%04x:%02x:%02x.%x", domain, bus, device, function);
    return text;
}

std::string PciAddress::readId(const std::string& sysroot) const
{
    if (!valid || domain != 0) {
        return std::string();
    }
    char file[32];
    std::snprintf(file, sizeof file, "/proc/bus/pci/%02x/%02x.%x", bus, device, function);
    const int fd = open((sysroot + file).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::string();
    }
    unsigned char header[4] = {};
    const ssize_t count = pread(fd, header, sizeof header, 0);
    close(fd);
    if (count != static_cast<ssize_t>(sizeof header)) {
        return std::string();
    }
    char id[16];
    std::snprintf(id, sizeof id, "%02x%02x:%02x%02x", header[1], header[0], header[3], header[2]);
    return id;
}

int slotFromHWInfo(const std::string& text)
{
    return modemdiag::ReadSlot(text);
}

}  // namespace diaghost
