// SimProcPci.cpp - writes a simulated machine's PCI configuration files and the devices list under proc/bus/pci.
#include "SimulatedRoot.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <unistd.h>

#include "RootFiles.h"

namespace modemsim {

using namespace rootfiles;

namespace {

bool SameAddress(const PciFunction& a, const PciFunction& b)
{
    return a.bus == b.bus && a.device == b.device && a.function == b.function;
}

bool ScanOrder(const PciFunction& a, const PciFunction& b)
{
    if (a.bus != b.bus) {
        return a.bus < b.bus;
    }
    if (a.device != b.device) {
        return a.device < b.device;
    }
    return a.function < b.function;
}

}  // namespace

std::string SimulatedRoot::configPath(int bus, int device, int function)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/bus/pci/%02x/%02x.%x", static_cast<unsigned>(bus) & 0xFF,
                  static_cast<unsigned>(device) & 0x1F, static_cast<unsigned>(function) & 7);
    return path;
}

std::vector<std::uint8_t> SimulatedRoot::configBytes(const PciFunction& function)
{
    std::vector<std::uint8_t> bytes(function.configSize >= 256 ? 256 : 64, 0);
    PutLe16(bytes, 0x00, function.vendorId);
    PutLe16(bytes, 0x02, function.deviceId);
    PutLe16(bytes, 0x04, 0x0007);  // command: I/O, memory, bus master
    PutLe16(bytes, 0x06, 0x0200);  // status: medium DEVSEL timing
    bytes[0x08] = function.revision;
    bytes[0x09] = static_cast<std::uint8_t>(function.classCode & 0xFF);
    bytes[0x0A] = static_cast<std::uint8_t>((function.classCode >> 8) & 0xFF);
    bytes[0x0B] = static_cast<std::uint8_t>((function.classCode >> 16) & 0xFF);
    bytes[0x0C] = 0x08;  // cache line size
    bytes[0x0D] = 0x20;  // latency timer
    bytes[0x0E] = function.headerType;
    if ((function.headerType & 0x7F) == 0x01) {
        bytes[0x18] = static_cast<std::uint8_t>(function.bus);
        bytes[0x19] = function.secondaryBus;
        bytes[0x1A] = function.secondaryBus;
    } else {
        PutLe16(bytes, 0x2C, function.subsystemVendorId);
        PutLe16(bytes, 0x2E, function.subsystemId);
    }
    bytes[0x3C] = function.irq;
    bytes[0x3D] = function.irq != 0 ? 1 : 0;  // interrupt pin INTA
    return bytes;
}

void SimulatedRoot::writeConfigFile(const PciFunction& function) const
{
    const std::string path = file(configPath(function.bus, function.device, function.function));
    MakeFolders(path.substr(0, path.rfind('/')));
    std::vector<std::uint8_t> bytes = configBytes(function);
    if (function.truncateTo >= 0 && static_cast<std::size_t>(function.truncateTo) < bytes.size()) {
        bytes.resize(static_cast<std::size_t>(function.truncateTo));
    }
    WriteWhole(path, bytes.data(), bytes.size());
}

// The kernel's format: bus and devfn, vendor and device, IRQ, then the six
// base addresses and the ROM address, their seven sizes, and the driver.
void SimulatedRoot::writeDevicesList() const
{
    std::string list;
    for (const PciFunction& function : m_functions) {
        char line[512];
        int length = std::snprintf(line, sizeof line, "%02x%02x\t%04x%04x\t%x", static_cast<unsigned>(function.bus),
                                   static_cast<unsigned>(function.device << 3 | function.function),
                                   static_cast<unsigned>(function.vendorId), static_cast<unsigned>(function.deviceId),
                                   static_cast<unsigned>(function.irq));
        for (int i = 0; i < 14; ++i) {
            length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), "\t%16llx", 0ULL);
        }
        list.append(line, static_cast<std::size_t>(length));
        list += "\t" + function.driver + "\n";
    }
    MakeFolders(file("/proc/bus/pci"));
    WriteWhole(file("/proc/bus/pci/devices"), list.data(), list.size());
}

void SimulatedRoot::addFunction(const PciFunction& function)
{
    if (function.bus < 0 || function.bus > 255 || function.device < 0 || function.device > 31 ||
        function.function < 0 || function.function > 7) {
        throw std::invalid_argument("simulated root: no such PCI address");
    }
    m_functions.erase(std::remove_if(m_functions.begin(), m_functions.end(),
                                     [&](const PciFunction& other) { return SameAddress(other, function); }),
                      m_functions.end());
    m_functions.insert(std::upper_bound(m_functions.begin(), m_functions.end(), function, ScanOrder), function);
    writeConfigFile(function);
    writeDevicesList();
}

void SimulatedRoot::addModem(int bus, int device, int function)
{
    PciFunction modem;
    modem.bus = bus;
    modem.device = device;
    modem.function = function;
    modem.irq = 11;
    modem.driver = "TSYSM";
    addFunction(modem);
}

void SimulatedRoot::addChipset()
{
    struct Other {
        int bus, device, function;
        std::uint16_t vendor, deviceId;
        std::uint32_t classCode;
        std::uint8_t revision, headerType, secondaryBus, irq;
    };
    static const Other kOthers[] = {
        {0, 0, 0, 0x8086, 0x7190, 0x060000, 0x03, 0x00, 0, 0},   // host bridge
        {0, 1, 0, 0x8086, 0x7191, 0x060400, 0x03, 0x01, 1, 0},   // AGP bridge to bus 1
        {0, 7, 0, 0x8086, 0x7110, 0x060100, 0x02, 0x80, 0, 0},   // ISA bridge (multi-function)
        {0, 7, 1, 0x8086, 0x7111, 0x01018A, 0x01, 0x00, 0, 0},   // IDE
        {0, 7, 2, 0x8086, 0x7112, 0x0C0300, 0x01, 0x00, 0, 9},   // USB
        {0, 7, 3, 0x8086, 0x7113, 0x068000, 0x02, 0x00, 0, 9},   // power management
        {0, 11, 0, 0x10EC, 0x8139, 0x020000, 0x10, 0x00, 0, 10}, // Ethernet
        {0, 13, 0, 0x1274, 0x1371, 0x040100, 0x08, 0x00, 0, 5},  // sound
        {1, 0, 0, 0x10DE, 0x0110, 0x030000, 0xA1, 0x00, 0, 11},  // video
    };
    for (const Other& other : kOthers) {
        PciFunction function;
        function.bus = other.bus;
        function.device = other.device;
        function.function = other.function;
        function.vendorId = other.vendor;
        function.deviceId = other.deviceId;
        function.subsystemVendorId = other.vendor;
        function.subsystemId = 0;
        function.classCode = other.classCode;
        function.revision = other.revision;
        function.headerType = other.headerType;
        function.secondaryBus = other.secondaryBus;
        function.irq = other.irq;
        addFunction(function);
    }
}

void SimulatedRoot::removeFunction(int bus, int device, int function)
{
    m_functions.erase(std::remove_if(m_functions.begin(), m_functions.end(),
                                     [&](const PciFunction& other) {
                                         return other.bus == bus && other.device == device &&
                                                other.function == function;
                                     }),
                      m_functions.end());
    unlink(file(configPath(bus, device, function)).c_str());
    writeDevicesList();
}

}  // namespace modemsim
