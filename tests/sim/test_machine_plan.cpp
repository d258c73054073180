// Machine plans as they stand up: modemsim's layout, the PCI tree as lspci reads it, firmware table and slot records.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <map>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "IrqTableOracle.h"
#include "MachinePlan.h"
#include "TestSupport.h"

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

// Every named machine: dev/mem is the low megabyte with the firmware's table
// first found where the plan puts it, its entries giving each modem the
// plan's slot (decoded by the fuzz targets' oracle, not through the
// writer); the slot records say what the plan says, in the kernel's address
// format.
TEST(MachinePlan, DevMemHoldsTheTableWhereThePlanPutsItAndSysfsItsSlotRecords)
{
    for (const modemsim::MachinePlan& plan : modemsim::MachinePlan::named()) {
        SCOPED_TRACE(plan.name);
        modemsim::SimulatedMachine machine(plan);
        const std::string memory = testsupport::readFile(machine.root().file("/dev/mem"));
        ASSERT_EQ(oracle::kBiosEnd, memory.size());
        const std::vector<std::uint8_t> area(memory.begin() + oracle::kBiosStart, memory.end());
        EXPECT_EQ(plan.irqTable ? static_cast<long>(plan.irqTableAddress - oracle::kBiosStart) : -1L,
                  oracle::FindTable(area));
        for (const modemsim::PlannedModem& modem : plan.modems) {
            EXPECT_EQ(plan.irqTable && modem.slot != 0 ? modem.slot : -1,
                      oracle::ExpectedSlot(area, static_cast<std::uint8_t>(modem.bus),
                                           static_cast<std::uint8_t>(modem.device)))
                << modem.bus << ":" << modem.device;
        }

        std::map<std::string, std::string> records, expected;
        for (const auto& slot : std::filesystem::directory_iterator(machine.root().file("/sys/bus/pci/slots"))) {
            records[slot.path().filename()] = testsupport::readFile(slot.path() / "address");
        }
        for (const modemsim::PciSlotRecord& record : plan.slotRecords) {
            char address[16];
            std::snprintf(address, sizeof address, "%04x:%02x:%02x\n", record.domain, record.bus, record.device);
            expected[record.name] = address;
        }
        EXPECT_EQ(expected, records);
    }
}

// As on a real machine, a dialout member opens neither dev/mem nor the
// amd64 kernel's proc/kcore: both are root's (real ones also want
// CAP_SYS_RAWIO).
TEST(MachinePlan, AnUnprivilegedReaderCannotOpenPhysicalMemory)
{
    const group* dialout = getgrnam("dialout");
    if (geteuid() != 0 || dialout == nullptr) {
        GTEST_SKIP() << "needs root and a dialout group";
    }
    const gid_t group = dialout->gr_gid;  // before another group lookup reuses the record
    modemsim::SimulatedMachine machine(*modemsim::MachinePlan::find("amd64"));
    ASSERT_EQ(0, chmod(machine.root().path().c_str(), 0755));  // a temporary folder is 0700
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(1, &group) != 0 || setgid(group) != 0 || setuid(65534) != 0) {
            _exit(2);
        }
        int refused = 0;
        for (const char* path : {"/dev/mem", "/proc/kcore"}) {
            const int fd = open(machine.root().file(path).c_str(), O_RDONLY);
            refused += fd < 0 && errno == EACCES ? 1 : 0;
        }
        _exit(refused == 2 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
