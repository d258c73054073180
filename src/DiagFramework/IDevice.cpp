// IDevice.cpp - device base, FRU record, device handles and enumerator base.
#include "QuarnDiags/IDevice.h"
#include "QuarnDiags/IDeviceEnumerator.h"
#include "QuarnDiags/VirtualDevice.h"

namespace QuarnDiags {
namespace DeviceEnum {

namespace {

std::string textOf(const char* text)
{
    return text != nullptr ? std::string(text) : std::string();
}

}  // namespace

const char s_MODEM[] = "MODEM";

IDevice::IDevice(const char* deviceName, const char* disableDeviceName, const char* deviceDescriptor,
                 const char* description, const char* deviceLocation, Uint uiDeviceType,
                 const char* resourceTag)
    : m_deviceName(textOf(deviceName)),
      m_disableDeviceName(textOf(disableDeviceName)),
      m_deviceDescriptor(textOf(deviceDescriptor)),
      m_description(textOf(description)),
      m_deviceLocation(textOf(deviceLocation)),
      m_deviceType(uiDeviceType),
      m_resourceTag(textOf(resourceTag))
{
}

IDevice::~IDevice() = default;

IDevice::DeviceStatus IDevice::getDeviceStatus() const
{
    return m_status;
}

void IDevice::setDeviceClass(const char* deviceClass)
{
    m_deviceClass = textOf(deviceClass);
}

void IDevice::setDeviceParentLocation(const char* parentLocation)
{
    m_parentLocation = textOf(parentLocation);
}

void IDevice::setDeviceAdditionalHWInfo(const char* additionalHWInfo)
{
    m_additionalHWInfo = textOf(additionalHWInfo);
}

void IDevice::setDeviceFruInfo(const FRUinfo& fruInfo)
{
    m_fruInfo = fruInfo;
}

void IDevice::setDeviceStatus(DeviceStatus status)
{
    m_status = status;
}

const char* IDevice::deviceStatusName(DeviceStatus status)
{
    static const char* const names[] = {
        "NORMAL", "CONFIGURATION_ERROR", "DRIVER_UNLOADABLE", "RESOURCE_CONSTRIANTS",
        "DRIVER_REGISTRY_CORRUPTED", "UNMANAGABLE_RESOURCE", "DEVICE_BOTT_CONFLICT", "INCONSISTENT",
        "DRIVER_LOADER_MISSING", "INCORRECT_FIRMWARE", "CANNOT_START", "DEVICE_FAILED",
        "RESOURCES_LACK", "RESOURCE_VERIFICATION_FAILED", "REBOOT_REQUIRED",
        "DRIVER_ENUMERATION_PROBLEM", "UNIDENTIFIABLE_RESOURCES", "UNKNOWN_RESOURCE_REQUIRED",
        "REINSTALL_DRIVER", "CORRUPTED_REGISTRY", "HARDWARE_FAILURE", "DEVICE_REMOVED",
        "DISABLED_DEVICE", "DUP_HARDWARE_FAILURE", "DEVICE_ABSENT", "INITIALIZING_DEVICE",
        "DUP_INITIALIZING_DEVICE", "INVALID_LOG_CONFIGURATION", "DRIVERS_NOT_INSTALLED",
        "FIRMWARE_ERROR", "SHARED_IRQ", "UNABLE_TO_LOAD_DRIVERS"};
    static_assert(sizeof(names) / sizeof(names[0]) == UNABLE_TO_LOAD_DRIVERS + 1,
                  "one name per status value");
    const int value = static_cast<int>(status);
    if (value >= 0 && value <= UNABLE_TO_LOAD_DRIVERS) {
        return names[value];
    }
    return "UNKNOWN";
}

void FRUinfo::setDeviceManufacturerName(const char* text) { m_manufacturerName = textOf(text); }
void FRUinfo::setDeviceName(const char* text) { m_deviceName = textOf(text); }
void FRUinfo::setDeviceDescription(const char* text) { m_description = textOf(text); }
void FRUinfo::setDeviceFirmwareRevisionLevel(const char* text) { m_firmwareRevisionLevel = textOf(text); }
void FRUinfo::setDeviceSerialNumber(const char* text) { m_serialNumber = textOf(text); }
void FRUinfo::setDeviceModelNumber(const char* text) { m_modelNumber = textOf(text); }
void FRUinfo::setDeviceAssetTag(const char* text) { m_assetTag = textOf(text); }
void FRUinfo::setDeviceSKUnumber(const char* text) { m_skuNumber = textOf(text); }

VirtualDevice::VirtualDevice(IDevice* pDevice) : m_device(pDevice) {}

IDeviceEnumerator::IDeviceEnumerator() : m_diagLog(false), m_diagMode(CUSTOMER) {}

IDeviceEnumerator::IDeviceEnumerator(bool diagLog, DiagnosticMode diagMode)
    : m_diagLog(diagLog), m_diagMode(diagMode)
{
}

IDeviceEnumerator::~IDeviceEnumerator() = default;

const char* IDeviceEnumerator::diagnosticModeName(DiagnosticMode mode)
{
    switch (mode) {
    case CUSTOMER: return "CUSTOMER";
    case FACTORY: return "FACTORY";
    case BRINGUP: return "BRINGUP";
    }
    return "UNKNOWN";
}

}  // namespace DeviceEnum
}  // namespace QuarnDiags
