// VirtualDevice.h - copyable handle on a device; copies share the device.
#pragma once

#include <memory>
#include <vector>

#include "QuarnDiags/IDevice.h"

namespace QuarnDiags {
namespace DeviceEnum {

// The handle takes ownership of the device it is made with: the device is
// deleted, through its virtual destructor, when the last copy goes. Copies
// may be made and dropped on different threads.
class QUARNDIAGS_API VirtualDevice {
public:
    explicit VirtualDevice(IDevice* pDevice = nullptr);

    IDevice* getDevice() const { return m_device.get(); }
    IDevice* operator->() const { return m_device.get(); }
    explicit operator bool() const { return m_device != nullptr; }

    // Number of handles that share the device (0 for an empty handle).
    long useCount() const { return m_device.use_count(); }

private:
    std::shared_ptr<IDevice> m_device;
};

using VirtualDeviceVector = std::vector<VirtualDevice>;

}  // namespace DeviceEnum
}  // namespace QuarnDiags
