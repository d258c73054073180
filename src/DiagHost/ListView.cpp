// ListView.cpp - tables and descriptions of the diagnostic and of the modems found.
#include "ListView.h"

#include "Table.h"
#include "Text.h"

namespace diaghost {

namespace {

void field(Console& console, const std::string& indent, const std::string& name, const std::string& value)
{
    // Values line up whatever the indent; they may come from the modem.
    console.line(indent + pad(name + ":", 28 - indent.size()) + printable(value));
}

}  // namespace

void printInfo(Console& console, const PackageIdentity& package, const PackageConfig& config,
               const std::string& logDir)
{
    console.line(console.paint(printable(package.name + " " + package.version), Colour::Bold));
    field(console, "", "Description", package.description);
    field(console, "", "Package", config.path);
    field(console, "", "Plug-in", config.libraryPath());
    field(console, "", "Log folder", logDir);
    console.line();
    console.line("Tests:");
    Table tests({{"INDEX"}, {"NAME"}, {"TAKES", 1}, {"WHAT IT DOES"}}, 2);
    for (int i = 0; i < static_cast<int>(config.tests.size()); ++i) {
        tests.row({{std::to_string(i)}, {config.testName(i)}, {orDash(config.limitText(i))}, {config.testTitle(i)}});
    }
    tests.print(console);
}

void printDeviceTable(Console& console, const std::vector<DeviceRecord>& devices)
{
    Table table({{"INDEX"}, {"ADDRESS"}, {"ID", 2}, {"TTY"}, {"SLOT", 1}, {"FIRMWARE", 3}, {"STATUS"}}, 0);
    for (const DeviceRecord& device : devices) {
        const Colour colour = device.status == "NORMAL" ? Colour::Plain : Colour::Yellow;
        table.row({{std::to_string(device.index)},
                   {device.shownAddress()},
                   {orDash(device.pciId)},
                   {orDash(device.tty)},
                   {markedSlot(device)},
                   {orDash(device.fru.firmwareRevision)},
                   {device.status, colour}});
    }
    table.print(console);
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
        field(console, "  ", "PCI address", orDash(device.pciAddress.text()));
        field(console, "  ", "PCI ID (vendor:device)", orDash(device.pciId));
        field(console, "  ", "TTY", orDash(device.tty));
        field(console, "  ", "Slot", slotText(device));
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

std::string noModemText(const PackageConfig& config, const std::string& sysroot)
{
    const HardwareInfo& hardware = config.hardware;
    std::string text = "No modem found.";
    std::string sought;
    if (!hardware.pciId.empty()) {
        sought = "PCI functions with vendor:device " + hardware.pciId + " in " + sysroot + "/proc/bus/pci";
    }
    if (!hardware.ttys.empty()) {
        sought += (sought.empty() ? "" : ", and ") + std::string("the ttys ") + sysroot + hardware.ttys +
                  (hardware.driver.empty() ? "" : " of the driver " + hardware.driver);
    }
    if (!sought.empty()) {
        text += " Looked for " + sought + ".";
    }
    return text;
}

}  // namespace diaghost
