// The driver's ttys and their version answers, and the driver's use count in /proc/modules.
#include <chrono>
#include <cstring>

#include "DiscoveryFixture.h"
#include "VelkLinux.h"
#include "VirtualModem.h"

using modemsim::ModemProfile;
using modemsim::TtyNode;
using modemsim::VirtualModem;

namespace {

ModemProfile Identifying(const std::string& line)
{
    ModemProfile profile;
    profile.identification = line;
    return profile;
}

}  // namespace

using SoftwareTable = DiscoveryTest;

TEST_F(SoftwareTable, TakesTheTtysUpToTheFirstGapAndAsksEachForItsVersion)
{
    VirtualModem first;
    VirtualModem third(Identifying("Tessaly Parlance V.92 Version 9.9.9"));
    root.linkTty(0, first.slavePath());
    root.linkTty(2, third.slavePath());

    devDetailStruct table[4];
    std::memset(table, 0xAB, sizeof table);
    std::uint32_t count = 4;
    SetFunctionName("::BuildDeviceTable");
    ASSERT_EQ(0, BuildDeviceTable(table, &count, "TSY V.92 56K Modem"));

    ASSERT_EQ(1u, count);
    EXPECT_STREQ("/dev/ttySM0", table[0].comPort);
    EXPECT_STREQ("3.5.22", table[0].driverVersion);
    EXPECT_EQ(-1, table[0].bus);
    EXPECT_EQ(0, table[0].pciLocationKnown);
    EXPECT_EQ(DEVSTATUS_ENABLED, table[0].deviceStatus);
    EXPECT_EQ(0u, table[0].slot);
    EXPECT_EQ('\0', table[1].comPort[0]);  // the whole table is cleared
    EXPECT_EQ(0, table[3].bus);
    EXPECT_TRUE(third.commands().empty());

    const std::vector<std::string> expected = {
        "::BuildDeviceTable() - Function started",
        "::BuildDeviceTable() - Normal exit",
    };
    EXPECT_EQ(expected, log.lines());
}

TEST_F(SoftwareTable, CapacityZeroProbesNothing)
{
    VirtualModem modem;
    root.linkTty(0, modem.slavePath());
    devDetailStruct table[1];
    std::uint32_t count = 0;
    EXPECT_EQ(0, BuildDeviceTable(table, &count, ""));
    EXPECT_EQ(0u, count);
    EXPECT_TRUE(modem.commands().empty());
}

TEST_F(SoftwareTable, VersionIsTheRestOfTheAti3Line)
{
    ModemProfile garbage;
    garbage.faults["ati3"].garbage = "\r\n\x01\xfeVer\x7fsion 1.0\x02\r\nOK\r\n";
    struct Case {
        ModemProfile profile;
        bool found;
        const char* version;
    };
    const Case cases[] = {
        {Identifying("Version 2.1.3"), true, "2.1.3"},
        {Identifying("Tessaly Parlance V.92 Version 3.5.22 (beta)"), true, "3.5.22 (beta)"},
        {Identifying("Version "), true, ""},
        {Identifying("Versions 2.1.3"), false, ""},
        {Identifying("version 2.1.3"), false, ""},
        {garbage, false, ""},
    };
    VirtualModem modem;
    root.linkTty(0, modem.slavePath());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile.identification);
        modem.setProfile(c.profile);
        char version[256];
        std::memset(version, 0, sizeof version);
        EXPECT_EQ(c.found ? TRUE : FALSE, CheckModemVersion("/dev/ttySM0", version, sizeof version));
        EXPECT_STREQ(c.version, version);
    }
}

// A ttySM node that is no tty still counts; it is named in the log and the
// serial layer refuses it at once, without blocking on a FIFO.
TEST_F(SoftwareTable, NodesThatAreNoTtysAreReportedWithoutWaiting)
{
    struct Case {
        TtyNode kind;
        const char* kindLine;
        const char* serialLine;
    };
    const Case cases[] = {
        {TtyNode::RegularFile, "/dev/ttySM0 is a regular file, not a tty", "Failed to set up port"},
        {TtyNode::Folder, "/dev/ttySM0 is a folder, not a tty", "Unable to open serial device /dev/ttySM0"},
        {TtyNode::Fifo, "/dev/ttySM0 is a FIFO, not a tty", "Failed to set up port"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kindLine);
        root.makeTtyNode(0, c.kind);
        testsupport::LogCapture capture;
        devDetailStruct table[2];
        std::uint32_t count = 2;

        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(0, BuildDeviceTable(table, &count, ""));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

        EXPECT_EQ(1u, count);
        EXPECT_STREQ("", table[0].driverVersion);
        const std::vector<std::string> expected = {
            "Status: Function started",
            std::string("Tessaly Modem Diagnostics: ") + c.kindLine,
            std::string("Tessaly Modem Diagnostics: ") + c.serialLine,
            "Status: Normal exit",
        };
        EXPECT_EQ(expected, capture.lines());
    }
}

using DriverUse = DiscoveryTest;

TEST_F(DriverUse, CountsOnlyTheDriversOwnLineWithSizeAndUsers)
{
    const std::string longLine = "snd_big 4096 1 " + std::string(600, 'x') + ", Live 0x0\n";
    struct Case {
        const char* name;
        std::string text;
        bool inUse;
    };
    const Case cases[] = {
        {"in use", "TSYSM 65536 2 - Live 0x0\n", true},
        {"loaded, unused", "TSYSM 65536 0 - Live 0x0\n", false},
        {"size 0", "TSYSM 0 3 - Live 0x0\n", false},
        {"longer name", "TSYSMX 65536 5 - Live 0x0\n", false},
        {"tab after the name", "TSYSM\t65536\t1\n", true},
        {"name alone, no newline", "TSYSM", false},
        {"no final newline", "lp 20480 0 - Live 0x0\nTSYSM 65536 1 - Live 0x0", true},
        {"huge numbers", "TSYSM 99999999999999999999999 99999999999999999999999\n", true},
        {"after a long line", longLine + "TSYSM 65536 1 - Live 0x0\n", true},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        root.setModulesText(c.text);
        EXPECT_EQ(c.inUse ? 1 : 0, ModemsInUse());
    }
    root.removeModules();
    EXPECT_EQ(0, ModemsInUse());
}

TEST_F(DriverUse, OddModuleListsAreReported)
{
    root.setModulesText("TSYSM - 1\n" + std::string(700, 'y') + "\n");
    EXPECT_EQ(0, ModemsInUse());
    const std::vector<std::string> expected = {
        "Tessaly Modem Diagnostics: Unreadable TSYSM line in /proc/modules",
        "Tessaly Modem Diagnostics: /proc/modules has lines longer than 511 bytes, read in pieces",
    };
    EXPECT_EQ(expected, log.lines());
}
