// The simulated root: what PCI tools and the plug-in's own readers see in it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "SimulatedRoot.h"
#include "TestSupport.h"

using modemsim::SimulatedRoot;

TEST(SimulatedRoot, LspciListsTheSameTree)
{
    int status = -1;
    testsupport::runCommand("command -v lspci >/dev/null 2>&1", &status);
    if (status != 0) {
        GTEST_SKIP() << "lspci (Debian's pciutils) is not installed";
    }
    SimulatedRoot root;
    root.addChipset();
    root.addModem(0, 9);
    root.addModem(2, 4, 1);

    const std::string listing =
        testsupport::runCommand("lspci -n -A linux-proc -O proc.path=" + root.path() + "/proc/bus/pci 2>&1");
    const std::string expected =
        "00:00.0 0600: 8086:7190 (rev 03)\n"
        "00:01.0 0604: 8086:7191 (rev 03)\n"
        "00:07.0 0601: 8086:7110 (rev 02)\n"
        "00:07.1 0101: 8086:7111 (rev 01)\n"
        "00:07.2 0c03: 8086:7112 (rev 01)\n"
        "00:07.3 0680: 8086:7113 (rev 02)\n"
        "00:09.0 0780: e7a5:0418 (rev 01)\n"
        "00:0b.0 0200: 10ec:8139 (rev 10)\n"
        "00:0d.0 0401: 1274:1371 (rev 08)\n"
        "01:00.0 0300: 10de:0110 (rev a1)\n"
        "02:04.1 0780: e7a5:0418 (rev 01)\n";
    EXPECT_EQ(expected, listing);
}

TEST(SimulatedRoot, TemporaryRootGoesAwayAndAGivenFolderStays)
{
    std::string temporary;
    {
        SimulatedRoot root;
        temporary = root.path();
        root.addModem(0, 9);
        root.linkTty(0, "/dev/null");
        EXPECT_EQ("MODEMDIAG_SYSROOT=" + temporary, root.sysrootLine());
    }
    EXPECT_NE(0, access(temporary.c_str(), F_OK));

    testsupport::TempDir dir;
    const std::string given = dir.file("root");
    {
        SimulatedRoot root(given);
        root.addModem(0, 9);
        root.linkTty(1, "/dev/null");
    }
    EXPECT_EQ(0, access((given + "/proc/bus/pci/00/09.0").c_str(), F_OK));
    {
        // Reused: the earlier simulation is cleared first.
        SimulatedRoot again(given);
        EXPECT_NE(0, access((given + "/dev/ttySM1").c_str(), F_OK));
        EXPECT_NE(0, access((given + "/proc/bus/pci/00/09.0").c_str(), F_OK));
    }

    // A folder with other content is never taken over.
    testsupport::writeFile(dir.file("precious"), "keep");
    EXPECT_THROW(SimulatedRoot{dir.path()}, std::runtime_error);
    EXPECT_EQ("keep", testsupport::readFile(dir.file("precious")));
}
