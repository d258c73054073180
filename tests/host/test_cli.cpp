// diaghost's command lines that answer at once: version, info and every error path with its exit status.
#include <gtest/gtest.h>

#include <algorithm>

#include "HostProcess.h"
#include "TestSupport.h"

using hosttest::Finished;

TEST(HostCli, AnswersWithItsExitStatusAndErrorsInOneLine)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("notelf.so"), "this is no shared library\n");
    const auto package = [&dir](const std::string& name, const std::string& text) {
        testsupport::writeFile(dir.file(name), text);
        return dir.file(name);
    };
    const struct {
        std::vector<std::string> args;
        int status;
        std::string text;
    } cases[] = {
        {{"--version"}, 0, "diaghost " DIAGHOST_VERSION "\n"},
        {{"info"}, 0, "Modem Test 1.0"},
        {{}, 64, "a command is required: info, list or run"},
        {{"frobnicate"}, 64, "frobnicate"},
        {{"run", "--device", "x"}, 64, "modem index"},
        {{"--simulate=nope", "run"}, 64, "unknown simulated machine 'nope'"},
        {{"--simulate", "--sysroot", "/", "list"}, 64, "exclude each other"},
        {{"--sysroot", dir.file("none"), "list"}, 64, "--sysroot " + dir.file("none") + ": no such folder"},
        {{"run", "--test", "nosuch"}, 64, "unknown test 'nosuch' (tests: dialtone, loopback, at, all)"},
        {{"--simulate=healthy", "run", "--device", "7"}, 64, "no modem with index 7"},
        {{"--package", dir.file("none.cfg"), "list"}, 3, "cannot read package " + dir.file("none.cfg")},
        {{"--package", package("bad.cfg", "[package]\nlibrary lib.so\n"), "info"}, 3,
         "bad package " + dir.file("bad.cfg") + ": line 2"},
        // dlerror()'s own reason is shown.
        {{"--package", package("missing.cfg", "[package]\nlibrary = missing.so\n"), "info"}, 3,
         "No such file or directory"},
        {{"--package", package("notelf.cfg", "[package]\nlibrary = notelf.so\n"), "info"}, 3,
         "cannot load plug-in " + dir.file("notelf.so") + ": "},
        // A real library without the entry points: the host framework.
        {{"--package", package("noentry.cfg", "[package]\nlibrary = " FRAMEWORK_PATH "\n"), "info"}, 3,
         "has no entry point setPackageConfigFile"},
    };
    for (const auto& c : cases) {
        const std::string what = ::testing::PrintToString(c.args);
        const Finished run = hosttest::runHost(c.args, {"TMPDIR=" + dir.path()});
        EXPECT_EQ(c.status, run.status) << what << "\n" << run.err;
        EXPECT_NE(std::string::npos, (run.out + run.err).find(c.text)) << what << "\n" << run.out << run.err;
        if (c.status != 0) {
            EXPECT_EQ(0u, run.err.find("diaghost: ")) << what << "\n" << run.err;
            EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << what << "\n" << run.err;
        }
    }
}
