// ModemDevice: what the host is told about one modem, from its driver record.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "LogCapture.h"
#include "ModemDevice.h"

using QuarnDiags::DeviceEnum::IDevice;
using QuarnDiags::ModemDiag::ModemDevice;

namespace {

devDetailStruct Record(const char* comPort, unsigned status)
{
    devDetailStruct record{};
    std::memcpy(record.comPort, comPort, std::strlen(comPort));
    record.deviceStatus = static_cast<zephDevStatus>(status);
    return record;
}

ModemDevice Make(const devDetailStruct* record)
{
    return ModemDevice("name", "description", "disable", "tag", "location", "descriptor", 5, record);
}

}  // namespace

// A record without a tty lacks its driver, whatever its own status says.
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
        {"", DEVSTATUS_ENABLED, IDevice::DRIVERS_NOT_INSTALLED, "drivers not installed"},
    };
    for (const auto& [comPort, driverStatus, status, text] : cases) {
        testsupport::LogCapture log;
        const devDetailStruct record = Record(comPort, driverStatus);
        EXPECT_EQ(status, Make(&record).getDeviceStatus()) << comPort << " " << driverStatus;
        EXPECT_EQ(std::string("Status: \tDevice status: ") + text, log.lines().back());
    }
}

TEST(ModemDevice, NullRecordIsAModemWithoutDriver)
{
    const ModemDevice device = Make(nullptr);
    EXPECT_EQ("System Board!PCI Bus 0", device.getDeviceParentLocation());
    EXPECT_EQ("", device.getDeviceFruInfo().getDeviceFirmwareRevisionLevel());
    EXPECT_EQ(IDevice::DRIVERS_NOT_INSTALLED, device.getDeviceStatus());
}
