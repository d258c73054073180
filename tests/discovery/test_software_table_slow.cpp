// A tty whose modem never answers: each of its three waits runs out, and it still counts.
#include <chrono>
#include <cstring>

#include "DiscoveryFixture.h"
#include "VelkLinux.h"
#include "VirtualModem.h"

using SoftwareTableSlow = DiscoveryTest;

TEST_F(SoftwareTableSlow, SilentModemCountsWithoutAVersionAfterThreeWaits)
{
    modemsim::VirtualModem silent(*modemsim::ModemProfile::named("silent"));
    modemsim::VirtualModem healthy;
    root.linkTty(0, silent.slavePath());
    root.linkTty(1, healthy.slavePath());

    devDetailStruct table[4];
    std::uint32_t count = 4;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(0, BuildDeviceTable(table, &count, ""));
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(2u, count);
    EXPECT_STREQ("", table[0].driverVersion);
    EXPECT_STREQ("3.5.22", table[1].driverVersion);
    EXPECT_GE(elapsed, std::chrono::milliseconds(2900));
    EXPECT_LT(elapsed, std::chrono::milliseconds(4500));
}
