// The simulated root's PCI tree as the system's own PCI lister reads it.
#include <gtest/gtest.h>

#include "SimulatedRoot.h"
#include "TestSupport.h"

TEST(SimulatedRoot, LspciListsTheSameFunctionsAndIds)
{
    if (testsupport::runCommand("command -v lspci").empty()) {
        GTEST_SKIP() << "lspci is not installed";
    }
    modemsim::SimulatedRoot root;
    root.addChipset();
    root.addModem(0, 9);
    root.addModem(4, 31, 7);
    std::string expected;
    for (const modemsim::PciFunction& f : root.functions()) {
        char line[64];
        std::snprintf(line, sizeof line, "%02x:%02x.%x %04x:%04x\n", f.bus, f.device, f.function, f.vendorId,
                      f.deviceId);
        expected += line;
    }
    // Slot and IDs of each function, from the devices list and config files.
    const std::string listed = testsupport::runCommand(
        "lspci -n -A linux-proc -O proc.path=" + root.path() + "/proc/bus/pci | awk '{print $1, $3}'");
    EXPECT_EQ(expected, listed);
}
