// PciAddress.h - a PCI function's address and slot, read from people's and the plug-in's texts, printed as lspci does.
#pragma once

#include <string>

// One address type for every program here: diaghost reads it from the
// command line and the plug-in's device texts, modemsim from its --pci
// option.
//
// domain:bus:device.function; the default address is not valid.
struct PciAddress {
    unsigned domain = 0;
    unsigned bus = 0;
    unsigned device = 0;
    unsigned function = 0;
    bool valid = false;

    // "00:0a.0" or "0000:00:0a.0" (hexadecimal in any case, function 0 to
    // 7), as people write it; not valid for any other text.
    static PciAddress parse(const std::string& text);
    // The plug-in's location text of a device; not valid for any other text.
    static PciAddress fromLocation(const std::string& location);

    // In the order of domain, bus, device and function: the order of a scan.
    bool operator<(const PciAddress& other) const;

    std::string text() const;  // "0000:00:0a.0", "" when not valid
    // Without the domain when that is 0000: "00:0a.0"; "" when not valid.
    std::string shortText() const { return valid && domain == 0 ? text().substr(5) : text(); }
    // "vendor:device" ("e7a5:0418") from <sysroot>/proc/bus/pci/<bus>/<device>.<function>
    // as the plug-in reads it (domain 0000 only); "" when there is no such file.
    std::string readId(const std::string& sysroot) const;
};

// Slot number from the plug-in's additional hardware information text; 0
// for a text that names no slot.
int slotFromHWInfo(const std::string& text);
