// FRUinfo.h - field replaceable unit record of a device: eight texts.
#pragma once

#include <string>

#include "QuarnDiags/Export.h"

namespace QuarnDiags {
namespace DeviceEnum {

// Setters take C strings; a null pointer stores the empty text.
class QUARNDIAGS_API FRUinfo {
public:
    void setDeviceManufacturerName(const char* text);
    void setDeviceName(const char* text);
    void setDeviceDescription(const char* text);
    void setDeviceFirmwareRevisionLevel(const char* text);
    void setDeviceSerialNumber(const char* text);
    void setDeviceModelNumber(const char* text);
    void setDeviceAssetTag(const char* text);
    void setDeviceSKUnumber(const char* text);

    const std::string& getDeviceManufacturerName() const { return m_manufacturerName; }
    const std::string& getDeviceName() const { return m_deviceName; }
    const std::string& getDeviceDescription() const { return m_description; }
    const std::string& getDeviceFirmwareRevisionLevel() const { return m_firmwareRevisionLevel; }
    const std::string& getDeviceSerialNumber() const { return m_serialNumber; }
    const std::string& getDeviceModelNumber() const { return m_modelNumber; }
    const std::string& getDeviceAssetTag() const { return m_assetTag; }
    const std::string& getDeviceSKUnumber() const { return m_skuNumber; }

private:
    std::string m_manufacturerName;
    std::string m_deviceName;
    std::string m_description;
    std::string m_firmwareRevisionLevel;
    std::string m_serialNumber;
    std::string m_modelNumber;
    std::string m_assetTag;
    std::string m_skuNumber;
};

}  // namespace DeviceEnum
}  // namespace QuarnDiags
