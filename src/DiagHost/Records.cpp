// Records.cpp - decodes a device's texts into a record.
#include "Records.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace diaghost {

using QuarnDiags::DeviceEnum::IDevice;
using QuarnDiags::Diag::TestResult;

int slotFromHWInfo(const std::string& text)
{
    int slot = 0;
    char rest = '\0';
    // The whole text must be the slot phrase; a trailing character spoils it.
    if (std::sscanf(text.c_str(), " PCI Slot %d %c", &slot, &rest) == 1 && slot > 0) {
        return slot;
    }
    return 0;
}

std::string pciAddressOf(const std::string& location)
{
    unsigned bus = 0;
    unsigned device = 0;
    unsigned function = 0;
    int used = 0;
    if (std::sscanf(location.c_str(), "PCI Bus %u, Device %u, Function %u%n", &bus, &device, &function, &used) != 3 ||
        static_cast<std::size_t>(used) != location.size() || bus > 0xFF || device > 0x1F || function > 7) {
        return std::string();
    }
    char text[16];
    std::snprintf(text, sizeof text, "0000:%02x:%02x.%x", bus, device, function);
    return text;
}

std::string shortPciAddress(const std::string& address)
{
    return address.compare(0, 5, "0000:") == 0 ? address.substr(5) : address;
}

std::string readPciId(const std::string& sysroot, const std::string& address)
{
    // /proc/bus/pci/<bus>/<device>.<function>, as the plug-in reads it.
    if (address.size() != 12) {
        return std::string();
    }
    const std::string path = sysroot + "/proc/bus/pci/" + address.substr(5, 2) + "/" + address.substr(8);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::string();
    }
    unsigned char header[4] = {};
    const ssize_t count = pread(fd, header, sizeof header, 0);
    close(fd);
    if (count != static_cast<ssize_t>(sizeof header)) {
        return std::string();
    }
    char text[16];
    std::snprintf(text, sizeof text, "%02x%02x:%02x%02x", header[1], header[0], header[3], header[2]);
    return text;
}

DeviceRecord describeDevice(const IDevice& device, int index)
{
    DeviceRecord record;
    record.index = index;
    record.name = device.getDeviceName();
    record.description = device.getDescription();
    record.location = device.getDeviceLocation();
    record.pciAddress = pciAddressOf(record.location);
    record.tty = device.getDeviceDescriptor();
    record.additionalInfo = device.getDeviceAdditionalHWInfo();
    record.slot = slotFromHWInfo(record.additionalInfo);
    record.status = IDevice::deviceStatusName(device.getDeviceStatus());
    record.deviceClass = device.getDeviceClass();
    record.parentLocation = device.getDeviceParentLocation();

    const QuarnDiags::DeviceEnum::FRUinfo& fru = device.getDeviceFruInfo();
    record.fru.manufacturer = fru.getDeviceManufacturerName();
    record.fru.deviceName = fru.getDeviceName();
    record.fru.description = fru.getDeviceDescription();
    record.fru.firmwareRevision = fru.getDeviceFirmwareRevisionLevel();
    record.fru.serialNumber = fru.getDeviceSerialNumber();
    record.fru.modelNumber = fru.getDeviceModelNumber();
    record.fru.assetTag = fru.getDeviceAssetTag();
    record.fru.skuNumber = fru.getDeviceSKUnumber();
    return record;
}

Outcome outcomeOf(const TestRecord& test)
{
    switch (test.verdict) {
    case QuarnDiags::Diag::PASSED:
        return test.code == QuarnDiags::Diag::TEST_ABORTED ? Outcome::Aborted : Outcome::Passed;
    case QuarnDiags::Diag::UNUSUAL_STATUS:
        return Outcome::Unusual;
    case QuarnDiags::Diag::FAILED:
        return Outcome::Failed;
    }
    return Outcome::Failed;
}

const char* outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Passed:
        return "passed";
    case Outcome::Unusual:
        return "unusual";
    case Outcome::Failed:
        return "failed";
    case Outcome::Aborted:
        return "aborted";
    case Outcome::NotRun:
        return "not-run";
    }
    return "not-run";
}

TestResult worstVerdict(const std::vector<DeviceRecord>& devices)
{
    TestResult worst = QuarnDiags::Diag::PASSED;
    for (const DeviceRecord& device : devices) {
        for (const TestRecord& test : device.tests) {
            if (test.verdict > worst) {
                worst = test.verdict;
            }
        }
    }
    return worst;
}

}  // namespace diaghost
