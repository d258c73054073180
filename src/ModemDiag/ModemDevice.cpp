// ModemDevice.cpp - a modem's names, FRU record, class, location and status for the host.
#include "ModemDevice.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "PluginContract.h"

namespace QuarnDiags {
namespace ModemDiag {

namespace {

// Text of a fixed-size record field, which need not be terminated.
template <std::size_t N>
std::string FieldText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

}  // namespace

ModemDevice::ModemDevice(const char* pDeviceName, const char* pDescription, const char* pDisableDeviceName,
                         const char* pResourceTag, const char* pDeviceLocation, const char* pDeviceDescriptor,
                         Uint uiDeviceType, const devDetailStruct* pDevDetails)
    : IDevice(pDeviceName, pDisableDeviceName, pDeviceDescriptor, pDescription, pDeviceLocation, uiDeviceType,
              pResourceTag)
{
    DeviceEnum::FRUinfo fru;
    const char* statusText = "normal";

    if (pDevDetails != nullptr) {
        std::memcpy(&m_devDetails, pDevDetails, sizeof m_devDetails);
    } else {
        std::memset(&m_devDetails, 0, sizeof m_devDetails);
    }

    char text[256];
    std::snprintf(text, sizeof text, "System Board!PCI Bus %d", static_cast<int>(m_devDetails.bus));
    setDeviceParentLocation(text);
    ProgressMessage("\tDevice parent location: %s", text);

    setDeviceClass(DeviceEnum::s_MODEM);
    ProgressMessage("\tDevice class: %s", DeviceEnum::s_MODEM);

    const std::string uiNumber = FieldText(m_devDetails.uiNumber);
    if (!uiNumber.empty()) {
        setDeviceAdditionalHWInfo(uiNumber.c_str());
    } else if (m_devDetails.slot != 0) {
        modemdiag::FormatSlot(text, sizeof text, static_cast<int>(m_devDetails.slot));
        setDeviceAdditionalHWInfo(text);
    }
    ProgressMessage("\tAdditional hardware info: %s", getDeviceAdditionalHWInfo().c_str());

    const std::string firmware = FieldText(m_devDetails.driverVersion);
    fru.setDeviceManufacturerName("Tessaly Corporation");
    fru.setDeviceName("TSY V.92 56K Modem");
    fru.setDeviceDescription("Tessaly Parlance V.92 56K PCI Modem");
    fru.setDeviceFirmwareRevisionLevel(firmware.c_str());
    fru.setDeviceSerialNumber("N/A");
    fru.setDeviceModelNumber("TSY70418");
    fru.setDeviceAssetTag("N/A");
    fru.setDeviceSKUnumber("N/A");
    ProgressMessage("\tMaufacturer name: %s", fru.getDeviceManufacturerName().c_str());
    ProgressMessage("\tDevice name: %s", fru.getDeviceName().c_str());
    ProgressMessage("\tFirmware revision: %s", firmware.c_str());
    ProgressMessage("\tDevice model number: %s", fru.getDeviceModelNumber().c_str());
    setDeviceFruInfo(fru);

    // A device without a driver tty lacks its driver, whatever the record's
    // own status says.
    DeviceStatus status = NORMAL;
    if (m_devDetails.comPort[0] == '\0') {
        status = DRIVERS_NOT_INSTALLED;
        statusText = "drivers not installed";
    } else {
        switch (m_devDetails.deviceStatus) {
        case DEVSTATUS_DISABLED:
        case DEVSTATUS_PROBLEM:
        case DEVSTATUS_PRIVATEPROBLEM:
            status = DISABLED_DEVICE;
            statusText = "disabled device";
            break;
        case DEVSTATUS_NOTSTARTED:
            status = CANNOT_START;
            statusText = "cannot start";
            break;
        case DEVSTATUS_ENABLED:
        default:
            break;
        }
    }
    setDeviceStatus(status);
    ProgressMessage("\tDevice status: %s", statusText);

    m_dataValid = 1;
}

ModemDevice::~ModemDevice() = default;

Uint ModemDevice::open(AccessMode /*accessMode*/)
{
    return 0;
}

void ModemDevice::close() {}

void ModemDevice::identifyDevice(int /*seconds*/) {}

}  // namespace ModemDiag
}  // namespace QuarnDiags
