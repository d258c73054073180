// ModemDevice: what the host is told about one modem, from its driver record.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "LogCapture.h"
#include "ModemDevice.h"

using QuarnDiags::DeviceEnum::IDevice;

// A record without a tty lacks its driver, whatever its own status says; a
// missing record (nullptr tty below) reads as an empty one.
TEST(ModemDevice, StatusFollowsTheTtyFirstThenTheDriverStatus)
{
    const std::tuple<const char*, unsigned, IDevice::DeviceStatus, const char*> cases[] = {
        {"/dev/ttySM0", DEVSTATUS_ENABLED, IDevice::NORMAL, "normal"},
        {"/dev/ttySM0", DEVSTATUS_DISABLED, IDevice::DISABLED_DEVICE, "disabled device"},
        {"/dev/ttySM0", DEVSTATUS_PROBLEM, IDevice::DISABLED_DEVICE, "disabled device"},
        {"/dev/ttySM0", DEVSTATUS_PRIVATEPROBLEM, IDevice::DISABLED_DEVICE, "disabled device"},
        {"/dev/ttySM0", DEVSTATUS_NOTSTARTED, IDevice::CANNOT_START, "cannot start"},
        {"/dev/ttySM0", 7, IDevice::NORMAL, "normal"},
        {"", DEVSTATUS_NOTSTARTED, IDevice::DRIVERS_NOT_INSTALLED, "drivers not installed"},
        {nullptr, DEVSTATUS_ENABLED, IDevice::DRIVERS_NOT_INSTALLED, "drivers not installed"},
    };
    for (const auto& [comPort, driverStatus, status, text] : cases) {
        SCOPED_TRACE(testing::Message() << (comPort != nullptr ? comPort : "no record") << " " << driverStatus);
        testsupport::LogCapture log;
        devDetailStruct record{};
        std::snprintf(record.comPort, sizeof record.comPort, "%s", comPort != nullptr ? comPort : "");
        record.deviceStatus = static_cast<zephDevStatus>(driverStatus);
        const QuarnDiags::ModemDiag::ModemDevice device("name", "description", "disable", "tag", "location",
                                                        "descriptor", 5, comPort != nullptr ? &record : nullptr);
        EXPECT_EQ(status, device.getDeviceStatus());
        EXPECT_EQ(std::string("Status: \tDevice status: ") + text, log.lines().back());
    }
}
