// ModemDevice: what the host is told about one modem, from its driver record.
#include <gtest/gtest.h>

#include <cstring>

#include "LogCapture.h"
#include "ModemDevice.h"

using QuarnDiags::DeviceEnum::IDevice;
using QuarnDiags::ModemDiag::ModemDevice;
using testsupport::LogCapture;

namespace {

devDetailStruct Record(const char* comPort, zephDevStatus status, int bus = 0, unsigned slot = 0,
                       const char* uiNumber = "")
{
    devDetailStruct record;
    std::memset(&record, 0, sizeof record);
    // Copies leave the cleared record's zero padding in place.
    std::memcpy(record.comPort, comPort, strnlen(comPort, sizeof record.comPort));
    std::memcpy(record.uiNumber, uiNumber, strnlen(uiNumber, sizeof record.uiNumber));
    std::memcpy(record.driverVersion, "3.5.22", 6);
    record.deviceStatus = status;
    record.bus = bus;
    record.slot = slot;
    return record;
}

ModemDevice Make(const devDetailStruct* record)
{
    return ModemDevice("name", "description", "disable", "tag", "location", "descriptor", 5, record);
}

}  // namespace

TEST(ModemDevice, DescribesAnEnabledModemInASlot)
{
    LogCapture log;
    SetFunctionName("ModemDeviceEnumerator::getDeviceVector");
    const devDetailStruct record = Record("/dev/ttySM0", DEVSTATUS_ENABLED, 2, 3);
    ModemDevice device = Make(&record);

    EXPECT_EQ("System Board!PCI Bus 2", device.getDeviceParentLocation());
    EXPECT_EQ("PCI Slot 3", device.getDeviceAdditionalHWInfo());
    EXPECT_EQ("MODEM", device.getDeviceClass());
    EXPECT_EQ(IDevice::NORMAL, device.getDeviceStatus());
    EXPECT_TRUE(device.isDataValid());
    EXPECT_STREQ("/dev/ttySM0", device.getDevDetails().comPort);

    // The base keeps the constructor's strings in its own order.
    EXPECT_EQ("name", device.getDeviceName());
    EXPECT_EQ("disable", device.getDisableDeviceName());
    EXPECT_EQ("descriptor", device.getDeviceDescriptor());
    EXPECT_EQ("description", device.getDescription());
    EXPECT_EQ("location", device.getDeviceLocation());
    EXPECT_EQ("tag", device.getResourceTag());
    EXPECT_EQ(5u, device.getDeviceType());

    const auto& fru = device.getDeviceFruInfo();
    EXPECT_EQ("Tessaly Corporation", fru.getDeviceManufacturerName());
    EXPECT_EQ("TSY V.92 56K Modem", fru.getDeviceName());
    EXPECT_EQ("Tessaly Parlance V.92 56K PCI Modem", fru.getDeviceDescription());
    EXPECT_EQ("3.5.22", fru.getDeviceFirmwareRevisionLevel());
    EXPECT_EQ("N/A", fru.getDeviceSerialNumber());
    EXPECT_EQ("TSY70418", fru.getDeviceModelNumber());
    EXPECT_EQ("N/A", fru.getDeviceAssetTag());
    EXPECT_EQ("N/A", fru.getDeviceSKUnumber());

    const std::vector<std::string> expected = {
        "ModemDeviceEnumerator::getDeviceVector() - \tDevice parent location: System Board!PCI Bus 2",
        "ModemDeviceEnumerator::getDeviceVector() - \tDevice class: MODEM",
        "ModemDeviceEnumerator::getDeviceVector() - \tAdditional hardware info: PCI Slot 3",
        "ModemDeviceEnumerator::getDeviceVector() - \tMaufacturer name: Tessaly Corporation",
        "ModemDeviceEnumerator::getDeviceVector() - \tDevice name: TSY V.92 56K Modem",
        "ModemDeviceEnumerator::getDeviceVector() - \tFirmware revision: 3.5.22",
        "ModemDeviceEnumerator::getDeviceVector() - \tDevice model number: TSY70418",
        "ModemDeviceEnumerator::getDeviceVector() - \tDevice status: normal",
    };
    EXPECT_EQ(expected, log.lines());
}

TEST(ModemDevice, StatusFollowsTheTtyFirstThenTheDriverStatus)
{
    struct Case {
        const char* comPort;
        unsigned driverStatus;
        IDevice::DeviceStatus status;
        const char* text;
    };
    const Case cases[] = {
        {"/dev/ttySM0", DEVSTATUS_ENABLED, IDevice::NORMAL, "normal"},
        {"/dev/ttySM0", DEVSTATUS_DISABLED, IDevice::DISABLED_DEVICE, "disabled device"},
        {"/dev/ttySM0", DEVSTATUS_PROBLEM, IDevice::DISABLED_DEVICE, "disabled device"},
        {"/dev/ttySM0", DEVSTATUS_PRIVATEPROBLEM, IDevice::DISABLED_DEVICE, "disabled device"},
        {"/dev/ttySM0", DEVSTATUS_NOTSTARTED, IDevice::CANNOT_START, "cannot start"},
        {"/dev/ttySM0", 7, IDevice::NORMAL, "normal"},
        {"", DEVSTATUS_NOTSTARTED, IDevice::DRIVERS_NOT_INSTALLED, "drivers not installed"},
        {"", DEVSTATUS_ENABLED, IDevice::DRIVERS_NOT_INSTALLED, "drivers not installed"},
    };
    for (const Case& c : cases) {
        LogCapture log;
        const devDetailStruct record = Record(c.comPort, static_cast<zephDevStatus>(c.driverStatus));
        ModemDevice device = Make(&record);
        EXPECT_EQ(c.status, device.getDeviceStatus()) << c.comPort << " " << c.driverStatus;
        EXPECT_EQ(std::string("Status: \tDevice status: ") + c.text, log.lines().back());
    }
}

TEST(ModemDevice, AdditionalInformationPrefersTheSlotLabel)
{
    const devDetailStruct labelled = Record("/dev/ttySM0", DEVSTATUS_ENABLED, 0, 3, "Riser A");
    EXPECT_EQ("Riser A", Make(&labelled).getDeviceAdditionalHWInfo());
    const devDetailStruct onBoard = Record("/dev/ttySM0", DEVSTATUS_ENABLED, 0, 0);
    EXPECT_EQ("", Make(&onBoard).getDeviceAdditionalHWInfo());
}

TEST(ModemDevice, NullRecordIsAModemWithoutDriver)
{
    LogCapture log;
    ModemDevice device = Make(nullptr);
    EXPECT_EQ("System Board!PCI Bus 0", device.getDeviceParentLocation());
    EXPECT_EQ("", device.getDeviceAdditionalHWInfo());
    EXPECT_EQ("", device.getDeviceFruInfo().getDeviceFirmwareRevisionLevel());
    EXPECT_EQ(IDevice::DRIVERS_NOT_INSTALLED, device.getDeviceStatus());
    EXPECT_EQ("Status: \tAdditional hardware info: ", log.lines()[2]);
    for (auto mode : {IDevice::QUERY, IDevice::READ_ONLY, IDevice::WRITE_ONLY, IDevice::READ_WRITE}) {
        EXPECT_EQ(0u, device.open(mode));
    }
}
