// Records.cpp - decodes a device's texts into a record.
#include "Records.h"

#include <algorithm>

namespace diaghost {

using QuarnDiags::DeviceEnum::IDevice;

DeviceRecord describeDevice(const IDevice& device, int index)
{
    DeviceRecord record;
    record.index = index;
    record.name = device.getDeviceName();
    record.description = device.getDescription();
    record.location = device.getDeviceLocation();
    record.pciAddress = PciAddress::fromLocation(record.location);
    record.tty = device.getDeviceDescriptor();
    record.additionalInfo = device.getDeviceAdditionalHWInfo();
    record.slot = slotFromHWInfo(record.additionalInfo);
    record.slotSource = record.slot != 0 ? SlotSource::Kcore : SlotSource::Unknown;
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

// Marks of the slots diaghost found itself, and what each stands for.
const struct {
    SlotSource source;
    const char* mark;
    const char* words;
} kSlotSources[] = {
    {SlotSource::Firmware, "*", "the firmware's table, read through /dev/mem"},
    {SlotSource::Sysfs, "+", "the kernel's record in /sys/bus/pci/slots"},
};

std::string slotText(const DeviceRecord& device)
{
    if (device.slotSource == SlotSource::Unknown) {
        return "unknown";
    }
    std::string text = device.slot != 0 ? std::to_string(device.slot) : "0: built into the system board";
    for (const auto& source : kSlotSources) {
        text += device.slotSource == source.source ? std::string(" (") + source.words + ")" : "";
    }
    return text;
}

std::string markedSlot(const DeviceRecord& device)
{
    std::string text = device.slotSource == SlotSource::Unknown ? "-" : std::to_string(device.slot);
    for (const auto& source : kSlotSources) {
        text += device.slotSource == source.source ? source.mark : "";
    }
    return text;
}

std::vector<std::string> findMissingSlots(std::vector<DeviceRecord>& records, const std::string& sysroot)
{
    SlotLookup lookup(sysroot);
    for (DeviceRecord& record : records) {
        if (record.slotSource == SlotSource::Unknown && record.pciAddress.valid) {
            const SlotAnswer answer =
                lookup.find(record.pciAddress.domain, record.pciAddress.bus, record.pciAddress.device);
            record.slot = answer.slot;
            record.slotSource = answer.source;
        }
    }
    std::vector<std::string> notes;
    for (const auto& source : kSlotSources) {
        if (std::any_of(records.begin(), records.end(),
                        [&source](const DeviceRecord& record) { return record.slotSource == source.source; })) {
            notes.push_back(std::string(source.mark) + " slot from " + source.words + " (" +
                            (source.source == SlotSource::Firmware ? "the plug-in found none in /proc/kcore"
                                                                   : "the firmware's table: " + lookup.firmwareProblem()) +
                            ")");
        }
    }
    if (!lookup.problem().empty()) {
        notes.push_back("- slot unknown: none in /proc/kcore (the enumerator's log says why); " + lookup.problem());
    }
    return notes;
}

}  // namespace diaghost
