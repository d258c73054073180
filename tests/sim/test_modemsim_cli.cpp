// The modemsim command: modems that run until told to stop, and usage errors.
#include <gtest/gtest.h>

#include <regex>

#include "TestSupport.h"

TEST(ModemsimCli, PrintsItsTtysUntilSigtermItsHelpAndVersionAndRejectsBadUsage)
{
    // Help within 80 columns, each of its options in the manual page, and the version.
    EXPECT_EQ("modemsim " MODEMSIM_VERSION "\n0\n",
              testsupport::runCommand(MODEMSIM_PATH " --help | awk 'length > 79'; for o in $(" MODEMSIM_PATH
                                      " --help | grep -o -- '--[a-z-]*' | sort -u); do grep -qF -- \"$(echo $o | "
                                      "sed 's/-/\\\\-/g')\" '" MODEMSIM_MANUAL "' || echo \"not in the manual: $o\"; "
                                      "done; " MODEMSIM_PATH " --version; echo $?"));

    int status = -1;
    for (const char* args : {" --modems 0", " --modems 33", " --profile nope", " --bogus", " --pci 00:04.0",
                             " --root x --modems 2 --pci 00:05.0,00:04.0", " --root x --pci 00:20.0",
                             " --root x --pci 0:04.0", " --root x --modems 2 --pci 00:04.0"}) {
        EXPECT_EQ(0u, testsupport::runCommand(MODEMSIM_PATH + std::string(args) + " 2>&1", &status).find("modemsim: "))
            << args;
        EXPECT_EQ(64, status) << args;
    }
}

// A machine without modems: the root holds the other devices and no driver
// tty, and modemsim names it and waits like any other. With --pci the modem
// functions sit where asked (a guest copies their files from there), and
// nowhere else.
TEST(ModemsimCli, ARootHoldsTheModemFunctionsWhereAsked)
{
    testsupport::TempDir dir;
    const std::string root = dir.file("machine");
    std::string out = testsupport::runCommand("timeout -s TERM 1 " MODEMSIM_PATH " --modems 0 --root '" + root +
                                              "' 2>/dev/null; echo $?; find '" + root + "' -name 'ttySM*'; test -d '" +
                                              root + "/proc/bus/pci/00' && echo pci");
    EXPECT_EQ("MODEMDIAG_SYSROOT=" + root + "\n124\npci\n", out);

    out = testsupport::runCommand("timeout -s TERM 1 " MODEMSIM_PATH " --modems 2 --root '" + root +
                                  "' --pci 0000:00:04.0,02:1f.7 >/dev/null 2>&1; cd '" + root +
                                  "/proc/bus/pci' && for f in 00/04.0 02/1f.7; do od -An -tx1 -N4 $f; done; grep -c e7a50418 devices");
    EXPECT_EQ(" a5 e7 18 04\n a5 e7 18 04\n2\n", out);
}
