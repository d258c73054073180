// PciAddress.cpp - parses, prints and looks up PCI addresses; reads the plug-in's location and slot texts.
#include "PciAddress.h"

#include <cstdio>
#include <fcntl.h>
#include <tuple>
#include <unistd.h>

#include "PluginContract.h"

PciAddress PciAddress::parse(const std::string& text)
{
    using modemdiag::ReadLiteral;
    using modemdiag::ReadNumber;
    const std::string full = text.size() == 7 ? "0000:" + text : text;
    PciAddress address;
    std::size_t at = 0;
    address.valid = full.size() == 12 && ReadNumber(full, at, 4, 16, 0xFFFF, &address.domain) &&
                    ReadLiteral(full, at, ":") && ReadNumber(full, at, 7, 16, 0xFF, &address.bus) &&
                    ReadLiteral(full, at, ":") && ReadNumber(full, at, 10, 16, 0xFF, &address.device) &&
                    ReadLiteral(full, at, ".") && ReadNumber(full, at, 12, 16, 7, &address.function);
    return address.valid ? address : PciAddress();
}

PciAddress PciAddress::fromLocation(const std::string& location)
{
    PciAddress address;
    address.valid = modemdiag::ReadLocation(location, &address.bus, &address.device, &address.function);
    return address.valid ? address : PciAddress();
}

bool PciAddress::operator<(const PciAddress& other) const
{
    return std::tie(domain, bus, device, function) < std::tie(other.domain, other.bus, other.device, other.function);
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
