// The modemsim command: modems that run until told to stop, and usage errors.
#include <gtest/gtest.h>

#include <regex>

#include "TestSupport.h"

TEST(ModemsimCli, PrintsOneTtyPerModemUntilSigtermAndRejectsBadUsage)
{
    // timeout answers 124 when it had to send the signal; a crash on the
    // signal would give 128 plus its number.
    const std::string out = testsupport::runCommand("timeout -s TERM 1 " MODEMSIM_PATH
                                                    " --modems 2 --profile healthy,silent 2>/dev/null; echo $?");
    EXPECT_TRUE(std::regex_match(out, std::regex("/dev/pts/[0-9]+\n/dev/pts/[0-9]+\n124\n"))) << out;

    int status = -1;
    for (const char* args : {" --modems 0", " --modems 33", " --profile nope", " --bogus"}) {
        EXPECT_EQ(0u, testsupport::runCommand(MODEMSIM_PATH + std::string(args) + " 2>&1", &status).find("modemsim: "))
            << args;
        EXPECT_EQ(64, status) << args;
    }
}

// A machine without modems: the root holds the other devices and no driver
// tty, and modemsim names it and waits like any other.
TEST(ModemsimCli, ZeroModemsWithARootStandUpAMachineWithoutModems)
{
    testsupport::TempDir dir;
    const std::string root = dir.file("machine");
    const std::string out = testsupport::runCommand("timeout -s TERM 1 " MODEMSIM_PATH " --modems 0 --root '" + root +
                                                    "' 2>/dev/null; echo $?; find '" + root +
                                                    "' -name 'ttySM*'; test -d '" + root + "/proc/bus/pci/00' && echo pci");
    EXPECT_EQ("MODEMDIAG_SYSROOT=" + root + "\n124\npci\n", out);
}
