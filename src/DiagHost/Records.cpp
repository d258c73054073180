// Records.cpp - decodes a device's texts into a record.
#include "Records.h"

#include <cstdio>

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

DeviceRecord describeDevice(const IDevice& device, int index)
{
    DeviceRecord record;
    record.index = index;
    record.name = device.getDeviceName();
    record.description = device.getDescription();
    record.location = device.getDeviceLocation();
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
