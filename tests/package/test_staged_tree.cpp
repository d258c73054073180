// The tree the Debian packages are made from, staged with DESTDIR as dh_auto_install stages it, and
// the files debian/ adds: modes, run paths, units, maintainer scripts, manual pages.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "TestSupport.h"

namespace {

std::string run(const std::string& command, int* status = nullptr)
{
    return testsupport::runCommand(command + " 2>&1", status);
}

// The build installed below /usr, as the package build installs it, into a
// fresh folder.
class StagedTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        int status = -1;
        const std::string log = run("umask 022 && DESTDIR='" + m_stage.path() + "' '" CMAKE_COMMAND "' --install '" BUILD_DIR
                                    "' --prefix /usr",
                                    &status);
        ASSERT_EQ(0, status) << log;
    }

    std::string path(const std::string& name) const { return m_stage.path() + name; }

    testsupport::TempDir m_stage;
};

}  // namespace

// Every file, folder and link with its mode: nothing that group or others
// may write, nothing outside /usr. (debian/ turns the log folder into a link
// to /var/log/modemdiag and adds the units and the logrotate rules.)
TEST_F(StagedTree, HoldsEachFileWithItsMode)
{
    EXPECT_EQ(testsupport::readFile(PACKAGE_GOLDEN_DIR "/staged_tree.txt"),
              run("cd '" + m_stage.path() + "' && find . -mindepth 1 -printf '%y %m %p -> %l\\n' | sed 's/ -> $//'"
                  " | LC_ALL=C sort -k3"));
}

TEST_F(StagedTree, ProgramsAndPlugInFindTheFrameworkBySoname)
{
    const struct {
        const char* file;
        const char* needs;  // a line readelf -d prints
    } cases[] = {
        {"/usr/lib/diags/libdiagframework.so.1", "Library soname: [libdiagframework.so.1]"},
        {"/usr/bin/diaghost", "Shared library: [libdiagframework.so.1]"},
        {"/usr/bin/diaghost", "Library runpath: [$ORIGIN/../lib/diags]"},
        {"/usr/lib/diags/modem/libTSYmodemDiag.so", "Shared library: [libdiagframework.so.1]"},
        {"/usr/lib/diags/modem/libTSYmodemDiag.so", "Library runpath: [$ORIGIN/..]"},
    };
    for (const auto& c : cases) {
        const std::string dynamic = run("'" READELF "' -d '" + path(c.file) + "'");
        EXPECT_NE(std::string::npos, dynamic.find(c.needs)) << c.file << ":\n" << dynamic;
    }
}

TEST_F(StagedTree, UnitsPassSystemdAnalyze)
{
    ASSERT_EQ(std::string::npos, std::string(SYSTEMD_ANALYZE).find("NOTFOUND")) << "install systemd-analyze (package systemd)";
    // systemd-analyze verify looks at the units as installed in the root
    // it is given, ExecStart's program included; the targets they hang on
    // come from this machine's systemd.
    int status = -1;
    const std::string copy = run("mkdir -p '" + path("/lib/systemd/system") + "' && cp '" SOURCE_DIR
                                 "'/debian/modemdiag.service '" SOURCE_DIR "'/debian/modemdiag.timer /lib/systemd/system/*.target '" +
                                     path("/lib/systemd/system/") + "'",
                                 &status);
    ASSERT_EQ(0, status) << copy << "(is systemd installed?)";
    const std::string verify = run("'" SYSTEMD_ANALYZE "' verify --man=no --root='" + m_stage.path() +
                                       "' /lib/systemd/system/modemdiag.service /lib/systemd/system/modemdiag.timer",
                                   &status);
    EXPECT_EQ(0, status) << verify;
    EXPECT_EQ("", verify);
    // (What the service's command line writes, and where: debian/tests/service.)
}

TEST_F(StagedTree, MaintainerScriptsAndManualPagesAreWellFormed)
{
    int status = -1;
    EXPECT_EQ("", run("cd '" SOURCE_DIR "/debian' && sh -n modemdiag.postinst && sh -n modemdiag.postrm && cd '" +
                      path("/usr/share/man/man1") + "' && for page in diaghost modemsim verinfo; do"
                      " zcat $page.1.gz | groff -man -ww -z || echo $page; done",
                      &status));
    EXPECT_EQ(0, status);
}

// A prefix install: nothing outside the prefix, a log folder of its own, and
// the installed diaghost finds the installed package (not the build tree's)
// and the framework beside it, and writes its metrics.
TEST(PlainInstall, StaysInsideItsPrefixAndRunsFromThere)
{
    // Staged too, so that a file that escapes the prefix lands in the
    // staging folder rather than in this machine's /etc.
    testsupport::TempDir stage;
    testsupport::TempDir tmp;
    int status = -1;
    const std::string log = run("DESTDIR='" + stage.path() + "' '" CMAKE_COMMAND "' --install '" BUILD_DIR
                                "' --prefix /opt/modemdiag",
                                &status);
    ASSERT_EQ(0, status) << log;
    EXPECT_EQ("", run("cd '" + stage.path() + "' && find . -mindepth 1 ! -path './opt' ! -path './opt/modemdiag*'"));
    const std::string prefix = stage.path() + "/opt/modemdiag/";
    EXPECT_EQ("directory log\nsymbolic link libdiagframework.so\n",
              run("cd '" + prefix + "lib/diags' && stat -c '%F %n' log libdiagframework.so"));

    const std::string diaghost = "'" + prefix + "bin/diaghost' ";
    const std::string shown = run(diaghost + "info", &status);
    EXPECT_EQ(0, status) << shown;
    EXPECT_NE(std::string::npos, shown.find(prefix + "lib/diags/modem/pkg.cfg")) << shown;
    // The AT command test passes on the simulated modems (the one without a
    // tty leaves the status at 1), and the metrics say so. (That promtool
    // accepts them is test_metrics' and debian/tests/metrics'.)
    const std::string metrics = tmp.file("modemdiag.prom");
    const std::string ran =
        run("TMPDIR='" + tmp.path() + "' XDG_STATE_HOME='" + tmp.path() + "' " + diaghost +
                "--simulate run --test at --metrics '" + metrics + "'",
            &status);
    EXPECT_EQ(1, status) << ran;
    const std::string text = testsupport::readFile(metrics);
    EXPECT_NE(std::string::npos, text.find("test=\"at\",outcome=\"passed\"} 1")) << text;
    // The plug-in's logs land in the installed log folder for a real run.
    run("MODEMDIAG_SYSROOT='" + tmp.path() + "' " + diaghost + "list", &status);
    EXPECT_EQ(3, status);
    EXPECT_EQ(0, ::access((prefix + "lib/diags/log/TSYmodemDeviceEnumerator.log").c_str(), F_OK));
}

// The licence the packages declare in debian/copyright is the one in
// LICENSE, word for word.
TEST(Licence, DebianCopyrightQuotesTheLicenceFile)
{
    // The stand-alone "License: Expat" paragraph, its lines without the
    // leading blank and with "." for an empty line.
    const std::string copyright = testsupport::readFile(SOURCE_DIR "/debian/copyright");
    const std::string heading = "\nLicense: Expat\n ";
    const std::size_t at = copyright.rfind(heading);
    ASSERT_NE(std::string::npos, at) << copyright;
    std::string text;
    std::size_t from = at + heading.size() - 1;
    while (from < copyright.size() && copyright[from] == ' ') {
        const std::size_t end = copyright.find('\n', from);
        const std::string line = copyright.substr(from + 1, end - from - 1);
        text += (line == "." ? "" : line) + "\n";
        from = end + 1;
    }
    const std::string licence = testsupport::readFile(SOURCE_DIR "/LICENSE");
    // LICENSE starts with the copyright line and a blank line.
    EXPECT_EQ(licence.substr(licence.find("\n\n") + 2), text);
    EXPECT_NE(std::string::npos, copyright.find("Copyright: " + licence.substr(std::string("Copyright ").size(),
                                                                                licence.find('\n') - 10)));
}
