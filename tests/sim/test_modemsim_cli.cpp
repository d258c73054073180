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
    // The exit statuses of --help are the manual page's, in order.
    const std::string helpStatuses =
        testsupport::runCommand(MODEMSIM_PATH " --help | sed -n '/^Exit status:/,$s/^  \\([0-9]*\\) .*/\\1/p'");
    EXPECT_EQ("0\n64\n70\n", helpStatuses);
    EXPECT_EQ(helpStatuses, testsupport::runCommand("sed -n '/^.SH EXIT STATUS/,/^.SH/{/^.TP/{n;s/^.B //p}}' '"
                                                    MODEMSIM_MANUAL "'"));

    // Usage errors say why and where to look; a root that cannot be made is
    // modemsim's failure, not the user's.
    const struct {
        const char* args;
        int status;
        std::string says;
    } failures[] = {
        {" --modems 0", 64, "--modems 0 needs --root"},
        {" --modems 33", 64, "--modems wants a number from 0 to 32, not '33'"},
        {" -n", 64, "option --modems needs a value"},
        {" --profile nope", 64, "unknown profile 'nope'"},
        {" --bogus=1", 64, "unknown option --bogus"},
        {" --modems 2 stray", 64, "unexpected argument 'stray'"},
        {" --root ''", 64, "--root wants a folder"},
        {" --pci 00:04.0", 64, "--pci needs --root"},
        {" --root x --modems 2 --pci 00:05.0,00:04.0", 64, "--pci wants its addresses in ascending order, each once"},
        {" --root x --pci 00:20.0", 64, "--pci wants addresses like 00:04.0, not '00:20.0'"},
        {" --root x --pci 0:04.0", 64, "--pci wants addresses like 00:04.0, not '0:04.0'"},
        {" --root x --modems 2 --pci 00:04.0", 64, "--pci wants one address per modem (2), not 1"},
        {" --root x --release-delay 60001", 64, "--release-delay wants milliseconds from 0 to 60000, not '60001'"},
        {" --root /proc/none/x", 70, "simulated root: cannot create /proc/none"},
    };
    for (const auto& c : failures) {
        int status = -1;
        const std::string said = testsupport::runCommand(MODEMSIM_PATH + std::string(c.args) + " 2>&1", &status);
        const std::string see = c.status == 64 ? " (see modemsim --help)" : "";
        EXPECT_EQ(0u, said.find("modemsim: " + c.says + see)) << c.args << ": " << said;
        EXPECT_EQ(c.status, status) << c.args;
    }
}

// A machine without modems: the root holds the other devices and no driver
// tty, and modemsim names it and waits like any other. With --pci the modem
// functions sit where asked (a guest copies their files from there), and
// nowhere else; values after "=" or joined to a short option count the same.
TEST(ModemsimCli, ARootHoldsTheModemFunctionsWhereAsked)
{
    testsupport::TempDir dir;
    const std::string root = dir.file("machine");
    std::string out = testsupport::runCommand("timeout -s TERM 1 " MODEMSIM_PATH " --modems 0 --root '" + root +
                                              "' 2>/dev/null; echo $?; find '" + root + "' -name 'ttySM*'; test -d '" +
                                              root + "/proc/bus/pci/00' && echo pci");
    EXPECT_EQ("MODEMDIAG_SYSROOT=" + root + "\n124\npci\n", out);

    out = testsupport::runCommand("timeout -s TERM 1 " MODEMSIM_PATH " -n2 --root='" + root +
                                  "' --pci=0000:00:04.0,02:1f.7 >/dev/null 2>&1; cd '" + root +
                                  "/proc/bus/pci' && for f in 00/04.0 02/1f.7; do od -An -tx1 -N4 $f; done; grep -c e7a50418 devices");
    EXPECT_EQ(" a5 e7 18 04\n a5 e7 18 04\n2\n", out);
}
