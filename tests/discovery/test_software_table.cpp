// The driver's ttys and their version answers, and the driver's use count in /proc/modules.
#include <chrono>
#include <tuple>
#include <unistd.h>

#include "DiscoveryFixture.h"
#include "VelkLinux.h"
#include "VirtualModem.h"

using modemsim::VirtualModem;

using SoftwareTable = DiscoveryTest;

// Entry n always describes ttySM<n>: the first missing number ends the table.
// A node that is no tty still counts; it is named in the log, and the serial
// layer refuses it at once instead of waiting for answers from a FIFO. The
// entries' names, versions and other fields (no PCI location, enabled, no
// slot label) show in the golden enumeration log.
TEST_F(SoftwareTable, TakesTheTtysUpToTheFirstGapAndAsksEachForItsVersion)
{
    VirtualModem first;
    VirtualModem fourth;
    root.linkTty(0, first.slavePath());
    root.makeTtyNode(1, modemsim::TtyNode::Fifo);
    root.linkTty(3, fourth.slavePath());
    devDetailStruct table[4];
    std::uint32_t count = 0;  // capacity 0 probes nothing
    ASSERT_EQ(0, BuildDeviceTable(table, &count, ""));
    EXPECT_EQ(0u, count);
    EXPECT_TRUE(first.commands().empty());

    count = 4;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(0, BuildDeviceTable(table, &count, ""));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    ASSERT_EQ(2u, count);
    // The version query is exactly echo off, then the identification.
    EXPECT_EQ((std::vector<std::string>{"ate0", "ati3"}), first.commands());
    EXPECT_STREQ("", table[1].driverVersion);
    EXPECT_TRUE(fourth.commands().empty());
    EXPECT_NE(std::string::npos, log.text().find("Tessaly Modem Diagnostics: /dev/ttySM1 is a FIFO, not a tty"));
}

// The ati3 line, or these bytes instead of the whole answer.
TEST_F(SoftwareTable, VersionIsTheRestOfTheAti3Line)
{
    const std::tuple<const char*, const char*, bool, const char*> cases[] = {
        {"Tessaly Parlance V.92 Version 3.5.22 (beta)", "", true, "3.5.22 (beta)"},
        {"Version ", "", true, ""},
        {"Versions 2.1.3", "", false, ""},
        {"Version 3.5.22", "\r\n\x01\xfeVer\x7fsion 1.0\x02\r\nOK\r\n", false, ""},
    };
    VirtualModem modem;
    root.linkTty(0, modem.slavePath());
    for (const auto& [line, garbage, found, expected] : cases) {
        SCOPED_TRACE(line);
        modemsim::ModemProfile profile;
        profile.answer("I3").info = line;
        profile.faults["ati3"].garbage = garbage;
        modem.setProfile(profile);
        char version[256] = {};
        EXPECT_EQ(found ? TRUE : FALSE, CheckModemVersion("/dev/ttySM0", version, sizeof version));
        EXPECT_STREQ(expected, version);
    }
}

// Long lines are common on a real machine (a module used by many others
// lists them all): each is one line, judged by its start, and nothing is
// logged about any of these lists.
TEST_F(SoftwareTable, DriverInUseOnlyByItsOwnLineWithSizeAndUsers)
{
    const std::string longStart = "snd_big 4096 1 " + std::string(496, 'x');  // 511 bytes
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"in use", "TSYSM 65536 2 - Live 0x0\n", true},
        {"loaded, unused", "TSYSM 65536 0 - Live 0x0\n", false},
        {"size 0", "TSYSM 0 3 - Live 0x0\n", false},
        {"longer name", "TSYSMX 65536 5 - Live 0x0\n", false},
        {"longer name ending in a digit", "TSYSM2 65536 5 - Live 0x0\n", false},
        {"tab after the name, no final newline", "lp 20480 0 - Live 0x0\nTSYSM\t65536\t1", true},
        {"after a long line", longStart + std::string(600, 'x') + "\nTSYSM 65536 1 - Live 0x0\n", true},
        {"inside a long line", longStart + "TSYSM 65536 1 - Live 0x0\n", false},
        {"a long driver line", "TSYSM 65536 3 " + std::string(5000, 'm') + ",\n", true},
        {"unreadable size", "TSYSM - 1\n", false},
    };
    for (const auto& [name, text, inUse] : cases) {
        SCOPED_TRACE(name);
        root.setModulesText(text);
        EXPECT_EQ(inUse ? 1 : 0, ModemsInUse());
    }
    root.removeModules();
    EXPECT_EQ(0, ModemsInUse());
    EXPECT_EQ("", log.text());
}

// /proc/modules replaced by an endless stream: the read stops after 16 MiB
// with one line. In a child with an alarm, so that an endless read fails the
// case instead of hanging the suite.
TEST_F(SoftwareTable, AnEndlessModuleListIsReadOnlyUpToItsCap)
{
    ASSERT_EQ(0, symlink("/dev/zero", root.file("/proc/modules").c_str()));
    EXPECT_EXIT(
        {
            alarm(20);
            const std::vector<std::string> line = {
                "Tessaly Modem Diagnostics: /proc/modules goes on past 16 MiB, read stopped"};
            std::_Exit(ModemsInUse() == 0 && log.lines() == line ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
