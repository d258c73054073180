// ModemDevice.h - one modem as the host sees it, with its driver-side record.
#pragma once

#include "QuarnDiags/IDevice.h"
#include "VelkLinux.h"

namespace QuarnDiags {
namespace ModemDiag {

// All texts are settled by the constructor, which reports them through
// ProgressMessage; open, close and identifyDevice do nothing.
class ModemDevice : public DeviceEnum::IDevice {
public:
    // pDevDetails may be null: the record is then all zeros.
    ModemDevice(const char* pDeviceName, const char* pDescription, const char* pDisableDeviceName,
                const char* pResourceTag, const char* pDeviceLocation, const char* pDeviceDescriptor,
                Uint uiDeviceType, const devDetailStruct* pDevDetails);
    ~ModemDevice() override;

    Uint open(AccessMode accessMode) override;
    void close() override;
    void identifyDevice(int seconds) override;

    // The driver-side record; its comPort names the modem's tty ("" when the
    // modem has no driver tty).
    const devDetailStruct& getDevDetails() const { return m_devDetails; }

private:
    devDetailStruct m_devDetails;
};

}  // namespace ModemDiag
}  // namespace QuarnDiags
