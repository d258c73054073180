// Devices, FRU records and shared device handles of the host framework.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "QuarnDiags/IDevice.h"
#include "QuarnDiags/VirtualDevice.h"

using namespace QuarnDiags;
using namespace QuarnDiags::DeviceEnum;

namespace {

class CountingDevice : public IDevice {
public:
    explicit CountingDevice(int* deletions)
        : IDevice("name", nullptr, "descriptor", "description", "location", 7, "tag"), m_deletions(deletions)
    {
    }
    ~CountingDevice() override { ++*m_deletions; }
    Uint open(AccessMode) override { return 0; }
    void close() override {}
    void identifyDevice(int) override {}
    void publish() { m_dataValid = 1; }

private:
    int* m_deletions;
};

}  // namespace

TEST(VirtualDevice, CopiesShareOneDeviceDeletedWithTheLastCopy)
{
    int deletions = 0;
    {
        VirtualDeviceVector vector;
        {
            VirtualDevice first(new CountingDevice(&deletions));
            vector.push_back(first);
            vector.push_back(first);
            EXPECT_EQ(first.getDevice(), vector[1].getDevice());
            EXPECT_EQ(3, first.useCount());
        }
        vector.erase(vector.begin());
        EXPECT_EQ(0, deletions);
        EXPECT_EQ(1, vector[0].useCount());
    }
    EXPECT_EQ(1, deletions);
}

TEST(VirtualDevice, CopiesDroppedOnManyThreadsDeleteOnce)
{
    int deletions = 0;
    {
        VirtualDevice shared(new CountingDevice(&deletions));
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back([copy = shared] {
                for (int j = 0; j < 1000; ++j) {
                    VirtualDevice again(copy);
                    (void)again;
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(0, deletions);
    }
    EXPECT_EQ(1, deletions);
}

TEST(IDevice, KeepsWhatConstructorAndSettersAreGiven)
{
    int deletions = 0;
    CountingDevice device(&deletions);
    EXPECT_EQ("name", device.getDeviceName());
    EXPECT_EQ("", device.getDisableDeviceName());  // null is kept as empty
    EXPECT_EQ("descriptor", device.getDeviceDescriptor());
    EXPECT_EQ(7u, device.getDeviceType());
    EXPECT_EQ("tag", device.getResourceTag());
    EXPECT_FALSE(device.isDataValid());

    FRUinfo fru;
    fru.setDeviceManufacturerName("maker");
    fru.setDeviceSKUnumber(nullptr);
    device.setDeviceFruInfo(fru);
    device.setDeviceClass(s_MODEM);
    device.setDeviceStatus(IDevice::DRIVERS_NOT_INSTALLED);
    device.publish();

    EXPECT_EQ("maker", device.getDeviceFruInfo().getDeviceManufacturerName());
    EXPECT_EQ("", device.getDeviceFruInfo().getDeviceSKUnumber());
    EXPECT_EQ("MODEM", device.getDeviceClass());
    EXPECT_EQ(IDevice::DRIVERS_NOT_INSTALLED, device.getDeviceStatus());
    EXPECT_TRUE(device.isDataValid());
}

TEST(IDevice, StatusValuesAndNames)
{
    EXPECT_EQ(10, IDevice::CANNOT_START);
    EXPECT_EQ(22, IDevice::DISABLED_DEVICE);
    EXPECT_EQ(28, IDevice::DRIVERS_NOT_INSTALLED);
    EXPECT_EQ(31, IDevice::UNABLE_TO_LOAD_DRIVERS);
    EXPECT_EQ(100, IDevice::UNKNOWN);
    EXPECT_STREQ("DRIVERS_NOT_INSTALLED", IDevice::deviceStatusName(IDevice::DRIVERS_NOT_INSTALLED));
    EXPECT_STREQ("RESOURCE_CONSTRIANTS", IDevice::deviceStatusName(IDevice::RESOURCE_CONSTRIANTS));
    EXPECT_STREQ("UNKNOWN", IDevice::deviceStatusName(IDevice::UNKNOWN));
    EXPECT_STREQ("UNKNOWN", IDevice::deviceStatusName(static_cast<IDevice::DeviceStatus>(32)));
}
