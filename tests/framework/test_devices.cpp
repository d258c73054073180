// Devices and shared device handles of the host framework.
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
    explicit CountingDevice(int* deletions) : IDevice("name", nullptr, "", "", "", 7, "tag"), m_deletions(deletions)
    {
    }
    ~CountingDevice() override { ++*m_deletions; }
    Uint open(AccessMode) override { return 0; }
    void close() override {}
    void identifyDevice(int) override {}

private:
    int* m_deletions;
};

}  // namespace

TEST(VirtualDevice, CopiesShareOneDeviceDeletedOnceWithTheLastCopy)
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

        // Copies made and dropped on several threads at once.
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back([copy = vector[0]] {
                for (int j = 0; j < 1000; ++j) {
                    VirtualDevice again(copy);
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

TEST(IDevice, NullTextsAreEmptyAndStatusNamesCoverTheEnumeration)
{
    int deletions = 0;
    CountingDevice device(&deletions);
    EXPECT_EQ("", device.getDisableDeviceName());
    device.setDeviceAdditionalHWInfo(nullptr);
    EXPECT_EQ("", device.getDeviceAdditionalHWInfo());

    // The values are what plug-ins and hosts exchange, the names what hosts show.
    EXPECT_EQ(28, IDevice::DRIVERS_NOT_INSTALLED);
    EXPECT_EQ(31, IDevice::UNABLE_TO_LOAD_DRIVERS);
    EXPECT_EQ(100, IDevice::UNKNOWN);
    EXPECT_STREQ("CANNOT_START", IDevice::deviceStatusName(IDevice::CANNOT_START));
    EXPECT_STREQ("UNABLE_TO_LOAD_DRIVERS", IDevice::deviceStatusName(IDevice::UNABLE_TO_LOAD_DRIVERS));
    EXPECT_STREQ("UNKNOWN", IDevice::deviceStatusName(static_cast<IDevice::DeviceStatus>(32)));
}
