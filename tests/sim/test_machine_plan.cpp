// Machine plans as they stand up: ttys, driver line, modemsim's layout, the PCI tree as lspci reads it.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <unistd.h>

#include "MachinePlan.h"
#include "TestSupport.h"

// The n-th tty leads to the n-th virtual modem and no further; the driver
// line carries the plan's use count; the chipset has the bridge to bus 2.
// The discovery end-to-end case pins the modem functions and slots.
TEST(MachinePlan, EachTtyLeadsToItsModemAndTheDriverLineCountsTheUsers)
{
    modemsim::SimulatedMachine machine(*modemsim::MachinePlan::find("busy"));
    ASSERT_EQ(2u, machine.modems().size());
    for (int n = 0; n < 3; ++n) {
        std::error_code error;
        EXPECT_EQ(n < 2 ? machine.modems()[static_cast<std::size_t>(n)]->slavePath() : "",
                  std::filesystem::read_symlink(machine.root().file(modemsim::SimulatedRoot::ttyPath(n)), error));
    }
    EXPECT_NE(std::string::npos,
              testsupport::readFile(machine.root().file("/proc/modules")).find("TSYSM 65536 1 "));
    EXPECT_EQ(0, access(machine.root().file("/proc/bus/pci/00/1e.0").c_str(), F_OK));
}

// modemsim --root: eight modems to a bus on buses 0, 2, 4, ..., slot n + 1.
TEST(MachinePlan, SpreadPutsEightModemsOnABusAndAnUnknownProfileIsRefused)
{
    const modemsim::MachinePlan plan = modemsim::MachinePlan::spread(std::vector<std::string>(10, "healthy"));
    ASSERT_EQ(10u, plan.modems.size());
    EXPECT_EQ(0, plan.modems[7].bus);
    EXPECT_EQ(23, plan.modems[7].device);
    EXPECT_EQ(2, plan.modems[9].bus);
    EXPECT_EQ(17, plan.modems[9].device);
    EXPECT_EQ(10, plan.modems[9].slot);

    modemsim::MachinePlan wrong;
    wrong.modems = {{0, 9, 0, "no-such-profile", 1}};
    EXPECT_THROW(modemsim::SimulatedMachine{wrong}, std::runtime_error);
}

// The system's own PCI lister finds the same functions and IDs (the demo's
// chipset, bridge and modems) in the devices list and config files.
TEST(MachinePlan, LspciListsTheSameFunctionsAndIds)
{
    if (testsupport::runCommand("command -v lspci").empty()) {
        GTEST_SKIP() << "lspci is not installed";
    }
    modemsim::SimulatedMachine machine(*modemsim::MachinePlan::find("demo"));
    std::string expected;
    for (const modemsim::PciFunction& f : machine.root().functions()) {
        char line[64];
        std::snprintf(line, sizeof line, "%02x:%02x.%x %04x:%04x\n", f.bus, f.device, f.function, f.vendorId,
                      f.deviceId);
        expected += line;
    }
    EXPECT_EQ(expected, testsupport::runCommand("lspci -n -A linux-proc -O proc.path=" + machine.root().path() +
                                                "/proc/bus/pci | awk '{print $1, $3}'"));
}
