// Records.cpp - decodes a device's texts into a record.
#include "Records.h"

#include <algorithm>
#include <cctype>

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

std::string resultLine(const long long (&outcomes)[std::size(kOutcomes)], long long untested, bool interrupted,
                       long long roundsRun, long long roundsAsked)
{
    std::string result = "Result";
    if (roundsAsked > 1) {
        result += " of " + (roundsRun < roundsAsked ? std::to_string(roundsRun) + " of " : std::string()) +
                  std::to_string(roundsAsked) + " rounds";
    }
    result += ":";
    for (std::size_t i = 0; i < std::size(kOutcomes); ++i) {
        std::string word = kOutcomes[i].label;  // "not run": the label in lower case
        std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
        result += (i == 0 ? " " : ", ") + std::to_string(outcomes[i]) + " " + word;
    }
    if (untested > 0) {
        result += "; " + std::to_string(untested) + (untested == 1 ? " modem" : " modems") + " not tested";
    }
    if (interrupted) {
        result += "; interrupted, the remaining tests did not run";
    }
    return result;
}

std::string slotText(const DeviceRecord& device)
{
    if (device.slotSource == SlotSource::Unknown) {
        return "unknown";
    }
    const std::string text = device.slot != 0 ? std::to_string(device.slot) : "0: built into the system board";
    const char* where = describe(device.slotSource).where;
    return where != nullptr ? text + " (" + where + ")" : text;
}

std::string markedSlot(const DeviceRecord& device)
{
    return (device.slotSource == SlotSource::Unknown ? "-" : std::to_string(device.slot)) +
           describe(device.slotSource).mark;
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
    for (const SlotSource source : {SlotSource::Firmware, SlotSource::Sysfs}) {
        if (std::any_of(records.begin(), records.end(),
                        [source](const DeviceRecord& record) { return record.slotSource == source; })) {
            notes.push_back(std::string(describe(source).mark) + " slot from " + describe(source).where + " (" +
                            (source == SlotSource::Firmware ? "the plug-in found none in /proc/kcore"
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
