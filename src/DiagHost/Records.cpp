// Records.cpp - decodes a device's texts into a record.
#include "Records.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace diaghost {

using QuarnDiags::DeviceEnum::IDevice;
using QuarnDiags::Diag::TestResult;

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

// Reads the decimal digits at text[at] (no sign, no blank) as a number of
// at most limit and moves past them; false when there are none or the
// number is larger.
bool decimal(const std::string& text, std::size_t& at, unsigned long limit, unsigned long* value)
{
    const std::size_t start = at;
    *value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        const unsigned long digit = static_cast<unsigned long>(text[at] - '0');
        if (digit > limit || *value > (limit - digit) / 10) {
            return false;
        }
        *value = *value * 10 + digit;
    }
    return at > start;
}

}  // namespace

int slotFromHWInfo(const std::string& text)
{
    // The whole text must be the slot phrase, its number a decimal one that
    // an int holds: anything around it or a number out of range spoils it.
    std::size_t at = 0;
    unsigned long slot = 0;
    if (!literal(text, at, "PCI Slot ") || !decimal(text, at, INT_MAX, &slot) || at != text.size() || slot == 0) {
        return 0;
    }
    return static_cast<int>(slot);
}

std::string pciAddressOf(const std::string& location)
{
    std::size_t at = 0;
    unsigned long bus = 0;
    unsigned long device = 0;
    unsigned long function = 0;
    if (!literal(location, at, "PCI Bus ") || !decimal(location, at, 0xFF, &bus) ||
        !literal(location, at, ", Device ") || !decimal(location, at, 0x1F, &device) ||
        !literal(location, at, ", Function ") || !decimal(location, at, 7, &function) || at != location.size()) {
        return std::string();
    }
    char text[16];
    std::snprintf(text, sizeof text, "0000:%02lx:%02lx.%lx", bus, device, function);
    return text;
}

std::string shortPciAddress(const std::string& address)
{
    return address.compare(0, 5, "0000:") == 0 ? address.substr(5) : address;
}

std::string readPciId(const std::string& sysroot, const std::string& address)
{
    // /proc/bus/pci/<bus>/<device>.<function>, as the plug-in reads it; only
    // an address in pciAddressOf's form names such a file.
    static const char kForm[] = "0000:xx:xx.f";
    if (address.size() != sizeof kForm - 1) {
        return std::string();
    }
    for (std::size_t i = 0; i < address.size(); ++i) {
        const char c = address[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        if (kForm[i] == 'x' ? !hex : kForm[i] == 'f' ? c < '0' || c > '7' : c != kForm[i]) {
            return std::string();
        }
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
