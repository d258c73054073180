// SimProcPci.h - the PCI functions of a simulated machine, as proc/bus/pci shows them.
#pragma once

#include <cstdint>
#include <string>

namespace modemsim {

// PCI IDs of the modem function the plug-in looks for.
const std::uint16_t kModemVendorId = 0xE7A5;
const std::uint16_t kModemDeviceId = 0x0418;

// One PCI function of the simulated machine. The defaults describe a modem
// function (communication controller, class 07 80 00).
struct PciFunction {
    int bus = 0;       // 0-255; the plug-in scans 0-7 only
    int device = 0;    // 0-31
    int function = 0;  // 0-7
    std::uint16_t vendorId = kModemVendorId;
    std::uint16_t deviceId = kModemDeviceId;
    std::uint16_t subsystemVendorId = kModemVendorId;
    std::uint16_t subsystemId = 0x0001;
    std::uint32_t classCode = 0x078000;  // base class << 16 | subclass << 8 | programming interface
    std::uint8_t revision = 0x01;
    std::uint8_t headerType = 0x00;  // 0x80 marks a multi-function device, 0x01 a PCI bridge
    std::uint8_t irq = 0;            // interrupt line (config byte 0x3C and the devices list)
    std::uint8_t secondaryBus = 0;   // for bridges (header type 1): the bus behind it
    std::string driver;              // driver name shown in the devices list ("" for none)
    // Size of the configuration file: 64 bytes (what an unprivileged reader
    // of procfs sees) or 256.
    unsigned configSize = 256;
    // For bad-input tests: keep only this many bytes of the file (0 leaves
    // it empty); negative keeps it whole.
    int truncateTo = -1;
};

}  // namespace modemsim
