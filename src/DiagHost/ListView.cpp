// ListView.cpp - tables and descriptions of the diagnostic and of the modems found.
#include "ListView.h"

#include <algorithm>

namespace diaghost {

namespace {

std::string orDash(const std::string& text)
{
    return text.empty() ? std::string("-") : text;
}

void field(Console& console, const std::string& indent, const std::string& name, const std::string& value)
{
    // Values line up whatever the indent.
    console.line(indent + pad(name + ":", 28 - indent.size()) + value);
}

}  // namespace

void printInfo(Console& console, const PackageIdentity& package, const PackageConfig& config,
               const std::string& libraryPath, const std::string& logDir)
{
    console.line(console.paint(package.name + " " + package.version, Colour::Bold));
    field(console, "", "Description", package.description);
    field(console, "", "Package", config.path);
    field(console, "", "Plug-in", libraryPath);
    field(console, "", "Log folder", logDir);
    console.line();
    console.line("Tests:");
    for (std::size_t i = 0; i < config.tests.size(); ++i) {
        console.line("  " + pad(std::to_string(i), 3) + pad(config.tests[i].name, 10) + config.tests[i].title);
    }
}

void printDeviceTable(Console& console, const std::vector<DeviceRecord>& devices)
{
    std::size_t locationWidth = 9;
    for (const DeviceRecord& device : devices) {
        locationWidth = std::max(locationWidth, device.location.size() + 2);
    }
    console.line(console.paint(pad("INDEX", 7) + pad("LOCATION", locationWidth) + pad("TTY", 14) + pad("SLOT", 6) +
                                   pad("FIRMWARE", 11) + "STATUS",
                               Colour::Bold));
    for (const DeviceRecord& device : devices) {
        const Colour colour = device.status == "NORMAL" ? Colour::Plain : Colour::Yellow;
        console.line(pad(std::to_string(device.index), 7) + pad(device.location, locationWidth) +
                     pad(orDash(device.tty), 14) + pad(device.slot != 0 ? std::to_string(device.slot) : "-", 6) +
                     pad(orDash(device.fru.firmwareRevision), 11) + console.paint(device.status, colour));
    }
}

void printDeviceDetails(Console& console, const std::vector<DeviceRecord>& devices)
{
    bool first = true;
    for (const DeviceRecord& device : devices) {
        if (!first) {
            console.line();
        }
        first = false;
        console.line(console.paint("Modem " + std::to_string(device.index), Colour::Bold));
        field(console, "  ", "Device name", device.name);
        field(console, "  ", "Description", device.description);
        field(console, "  ", "Location", device.location);
        field(console, "  ", "TTY", orDash(device.tty));
        field(console, "  ", "Slot", device.slot != 0 ? std::to_string(device.slot) : "unknown");
        field(console, "  ", "Class", device.deviceClass);
        field(console, "  ", "Parent location", device.parentLocation);
        field(console, "  ", "Additional hardware info", orDash(device.additionalInfo));
        field(console, "  ", "Status", device.status);
        console.line("  FRU record:");
        field(console, "    ", "Manufacturer", device.fru.manufacturer);
        field(console, "    ", "Device name", device.fru.deviceName);
        field(console, "    ", "Description", device.fru.description);
        field(console, "    ", "Firmware revision", orDash(device.fru.firmwareRevision));
        field(console, "    ", "Serial number", device.fru.serialNumber);
        field(console, "    ", "Model number", device.fru.modelNumber);
        field(console, "    ", "Asset tag", device.fru.assetTag);
        field(console, "    ", "SKU number", device.fru.skuNumber);
    }
}

}  // namespace diaghost
