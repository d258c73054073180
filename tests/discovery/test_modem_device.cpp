// ModemDevice: what the host is told about one modem, from its driver record.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "LogCapture.h"
#include "ModemDevice.h"

using QuarnDiags::DeviceEnum::IDevice;

// A record without a tty lacks its driver, whatever its own status says; a
// missing record (nullptr tty below) reads as an empty one. The slot label
// wins over the slot number. The getters give what the golden enumeration
// log shows, which pins the texts of a logged device.
TEST(ModemDevice, StatusSlotTextAndFirmwareFromTheRecord)
{
    // Texts: parent location | additional information | firmware; nullptr
    // for those of the record below, bus 2, slot 3, version 3.5.22.
    const std::tuple<const char*, unsigned, const char*, IDevice::DeviceStatus, const char*, const char*> cases[] = {
        {"/dev/ttySM0", DEVSTATUS_ENABLED, "", IDevice::NORMAL, "normal", nullptr},
        {"/dev/ttySM0", DEVSTATUS_DISABLED, "Riser A", IDevice::DISABLED_DEVICE, "disabled device",
         "System Board!PCI Bus 2|Riser A|3.5.22"},
        {"/dev/ttySM0", DEVSTATUS_PROBLEM, "", IDevice::DISABLED_DEVICE, "disabled device", nullptr},
        {"/dev/ttySM0", DEVSTATUS_PRIVATEPROBLEM, "", IDevice::DISABLED_DEVICE, "disabled device", nullptr},
        {"/dev/ttySM0", DEVSTATUS_NOTSTARTED, "", IDevice::CANNOT_START, "cannot start", nullptr},
        {"/dev/ttySM0", 7, "", IDevice::NORMAL, "normal", nullptr},
        {"", DEVSTATUS_NOTSTARTED, "", IDevice::DRIVERS_NOT_INSTALLED, "drivers not installed", nullptr},
        {nullptr, DEVSTATUS_ENABLED, "", IDevice::DRIVERS_NOT_INSTALLED, "drivers not installed",
         "System Board!PCI Bus 0||"},
    };
    for (const auto& [comPort, driverStatus, uiNumber, status, statusText, texts] : cases) {
        SCOPED_TRACE(testing::Message() << (comPort != nullptr ? comPort : "no record") << " " << driverStatus);
        testsupport::LogCapture log;
        devDetailStruct record{};
        std::snprintf(record.comPort, sizeof record.comPort, "%s", comPort != nullptr ? comPort : "");
        std::snprintf(record.driverVersion, sizeof record.driverVersion, "3.5.22");
        std::snprintf(record.uiNumber, sizeof record.uiNumber, "%s", uiNumber);
        record.bus = 2;
        record.slot = 3;
        record.deviceStatus = static_cast<zephDevStatus>(driverStatus);
        const QuarnDiags::ModemDiag::ModemDevice device("name", "description", "disable", "tag", "location",
                                                        "descriptor", 5, comPort != nullptr ? &record : nullptr);
        EXPECT_EQ(status, device.getDeviceStatus());
        EXPECT_EQ(std::string("Status: \tDevice status: ") + statusText, log.lines().back());
        EXPECT_EQ(texts != nullptr ? texts : "System Board!PCI Bus 2|PCI Slot 3|3.5.22",
                  device.getDeviceParentLocation() + "|" + device.getDeviceAdditionalHWInfo() + "|" +
                      device.getDeviceFruInfo().getDeviceFirmwareRevisionLevel());
    }
}
