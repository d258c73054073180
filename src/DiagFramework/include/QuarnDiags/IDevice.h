// IDevice.h - a device as the host sees it: names, FRU record, class, status.
#pragma once

#include <string>

#include "QuarnDiags/FRUinfo.h"
#include "QuarnDiags/Types.h"

namespace QuarnDiags {
namespace DeviceEnum {

// Device class name of modems.
QUARNDIAGS_API extern const char s_MODEM[];

class QUARNDIAGS_API IDevice {
public:
    enum AccessMode {
        QUERY = 0,
        READ_ONLY = 1,
        WRITE_ONLY = 2,
        READ_WRITE = 3
    };

    enum DeviceStatus {
        NORMAL = 0,
        CONFIGURATION_ERROR,
        DRIVER_UNLOADABLE,
        RESOURCE_CONSTRIANTS,
        DRIVER_REGISTRY_CORRUPTED,
        UNMANAGABLE_RESOURCE,
        DEVICE_BOTT_CONFLICT,
        INCONSISTENT,
        DRIVER_LOADER_MISSING,
        INCORRECT_FIRMWARE,
        CANNOT_START,
        DEVICE_FAILED,
        RESOURCES_LACK,
        RESOURCE_VERIFICATION_FAILED,
        REBOOT_REQUIRED,
        DRIVER_ENUMERATION_PROBLEM,
        UNIDENTIFIABLE_RESOURCES,
        UNKNOWN_RESOURCE_REQUIRED,
        REINSTALL_DRIVER,
        CORRUPTED_REGISTRY,
        HARDWARE_FAILURE,
        DEVICE_REMOVED,
        DISABLED_DEVICE,
        DUP_HARDWARE_FAILURE,
        DEVICE_ABSENT,
        INITIALIZING_DEVICE,
        DUP_INITIALIZING_DEVICE,
        INVALID_LOG_CONFIGURATION,
        DRIVERS_NOT_INSTALLED,
        FIRMWARE_ERROR,
        SHARED_IRQ,
        UNABLE_TO_LOAD_DRIVERS,
        UNKNOWN = 100
    };

    // Null strings are kept as empty ones.
    IDevice(const char* deviceName, const char* disableDeviceName, const char* deviceDescriptor,
            const char* description, const char* deviceLocation, Uint uiDeviceType,
            const char* resourceTag);
    virtual ~IDevice();

    virtual Uint open(AccessMode accessMode) = 0;
    virtual void close() = 0;
    virtual void identifyDevice(int seconds) = 0;
    virtual DeviceStatus getDeviceStatus() const;

    void setDeviceClass(const char* deviceClass);
    void setDeviceParentLocation(const char* parentLocation);
    void setDeviceAdditionalHWInfo(const char* additionalHWInfo);
    void setDeviceFruInfo(const FRUinfo& fruInfo);
    void setDeviceStatus(DeviceStatus status);

    const std::string& getDeviceName() const { return m_deviceName; }
    const std::string& getDisableDeviceName() const { return m_disableDeviceName; }
    const std::string& getDeviceDescriptor() const { return m_deviceDescriptor; }
    const std::string& getDescription() const { return m_description; }
    const std::string& getDeviceLocation() const { return m_deviceLocation; }
    Uint getDeviceType() const { return m_deviceType; }
    const std::string& getResourceTag() const { return m_resourceTag; }
    const std::string& getDeviceClass() const { return m_deviceClass; }
    const std::string& getDeviceParentLocation() const { return m_parentLocation; }
    const std::string& getDeviceAdditionalHWInfo() const { return m_additionalHWInfo; }
    const FRUinfo& getDeviceFruInfo() const { return m_fruInfo; }

    // The device's descriptive data is complete: a device sets this as the
    // last step of its construction, and a host shows only devices that
    // have it.
    bool isDataValid() const { return m_dataValid != 0; }

    // Symbolic name of a status ("NORMAL", "DRIVERS_NOT_INSTALLED", ...);
    // "UNKNOWN" for a value outside the enumeration.
    static const char* deviceStatusName(DeviceStatus status);

protected:
    unsigned char m_dataValid = 0;

private:
    std::string m_deviceName;
    std::string m_disableDeviceName;
    std::string m_deviceDescriptor;
    std::string m_description;
    std::string m_deviceLocation;
    Uint m_deviceType;
    std::string m_resourceTag;
    std::string m_deviceClass;
    std::string m_parentLocation;
    std::string m_additionalHWInfo;
    FRUinfo m_fruInfo;
    DeviceStatus m_status = NORMAL;
};

}  // namespace DeviceEnum
}  // namespace QuarnDiags
