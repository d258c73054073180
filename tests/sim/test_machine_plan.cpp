// Machine plans as they stand up: ttys in scan order, driver line, BIOS slots, modemsim's layout.
#include <gtest/gtest.h>

#include <stdexcept>
#include <unistd.h>

#include "MachinePlan.h"
#include "TestSupport.h"

namespace {

std::string LinkOf(const modemsim::SimulatedRoot& root, int tty)
{
    char target[256];
    const ssize_t length = readlink(root.file(modemsim::SimulatedRoot::ttyPath(tty)).c_str(), target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

int Modems(const modemsim::SimulatedRoot& root)
{
    int count = 0;
    for (const modemsim::PciFunction& f : root.functions()) {
        count += f.vendorId == modemsim::kModemVendorId && f.deviceId == modemsim::kModemDeviceId;
    }
    return count;
}

}  // namespace

TEST(MachinePlan, NamedMachinesStandUpAsTheySay)
{
    const struct {
        const char* name;
        int functions;  // modem functions
        int ttys;
        const char* useCount;
        std::size_t slots;
    } cases[] = {
        {"demo", 3, 2, " 0 ", 3},
        {"busy", 2, 2, " 1 ", 2},
        {"none", 0, 0, " 0 ", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const modemsim::MachinePlan* plan = modemsim::MachinePlan::find(c.name);
        ASSERT_NE(nullptr, plan);
        modemsim::SimulatedMachine machine(*plan);
        const modemsim::SimulatedRoot& root = machine.root();
        EXPECT_EQ(c.functions, Modems(root));
        ASSERT_EQ(static_cast<std::size_t>(c.ttys), machine.modems().size());
        for (int n = 0; n < c.ttys; ++n) {
            EXPECT_EQ(machine.modems()[static_cast<std::size_t>(n)]->slavePath(), LinkOf(root, n));
        }
        EXPECT_EQ("", LinkOf(root, c.ttys));
        const std::string modules = testsupport::readFile(root.file("/proc/modules"));
        EXPECT_NE(std::string::npos, modules.find(std::string("TSYSM 65536") + c.useCount));
        // The bridge to bus 2 is part of every machine's chipset.
        EXPECT_TRUE(access(root.file("/proc/bus/pci/00/1e.0").c_str(), F_OK) == 0);
        const std::string kcore = testsupport::readFile(root.file("/proc/kcore"));
        const std::size_t table = kcore.find("$PIR");
        ASSERT_EQ(0xFDF60u, table);
        const std::size_t size =
            static_cast<unsigned char>(kcore[table + 6]) + 256u * static_cast<unsigned char>(kcore[table + 7]);
        EXPECT_EQ(32 + 16 * c.slots, size);
    }
    EXPECT_EQ(nullptr, modemsim::MachinePlan::find("no-such-machine"));
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
