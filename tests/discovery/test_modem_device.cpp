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

// The texts the host shows: FRU record, parent location and additional
// hardware information, the slot label winning over the slot number.
TEST(ModemDevice, FruRecordParentLocationAndAdditionalInformation)
{
    const struct {
        bool record;
        int bus;
        unsigned slot;
        const char* uiNumber;
        const char* parent;
        const char* additional;
    } cases[] = {
        {true, 2, 3, "", "System Board!PCI Bus 2", "PCI Slot 3"},
        {true, 2, 3, "Riser slot A", "System Board!PCI Bus 2", "Riser slot A"},
        {true, 0, 0, "", "System Board!PCI Bus 0", ""},
        {false, 0, 0, "", "System Board!PCI Bus 0", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.record << " " << c.slot << " " << c.uiNumber);
        testsupport::LogCapture log;
        devDetailStruct record{};
        std::snprintf(record.comPort, sizeof record.comPort, "/dev/ttySM0");
        std::snprintf(record.driverVersion, sizeof record.driverVersion, "3.5.22");
        std::snprintf(record.uiNumber, sizeof record.uiNumber, "%s", c.uiNumber);
        record.bus = c.bus;
        record.slot = c.slot;
        const QuarnDiags::ModemDiag::ModemDevice device("name", "description", "disable", "tag", "location",
                                                        "descriptor", 5, c.record ? &record : nullptr);
        EXPECT_EQ(c.parent, device.getDeviceParentLocation());
        EXPECT_EQ(c.additional, device.getDeviceAdditionalHWInfo());
        EXPECT_EQ("MODEM", device.getDeviceClass());
        const QuarnDiags::DeviceEnum::FRUinfo& fru = device.getDeviceFruInfo();
        const std::vector<std::string> texts = {
            fru.getDeviceManufacturerName(), fru.getDeviceName(),        fru.getDeviceDescription(),
            fru.getDeviceFirmwareRevisionLevel(), fru.getDeviceSerialNumber(), fru.getDeviceModelNumber(),
            fru.getDeviceAssetTag(),         fru.getDeviceSKUnumber()};
        const std::vector<std::string> expected = {
            "Tessaly Corporation", "TSY V.92 56K Modem", "Tessaly Parlance V.92 56K PCI Modem",
            c.record ? "3.5.22" : "", "N/A", "TSY70418", "N/A", "N/A"};
        EXPECT_EQ(expected, texts);
        EXPECT_EQ(std::string("Status: \tDevice parent location: ") + c.parent, log.lines().at(0));
    }
}
