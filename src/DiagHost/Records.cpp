// Records.cpp - decodes a device's texts into a record.
#include "Records.h"

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

}  // namespace diaghost
