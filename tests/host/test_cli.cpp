// diaghost's command line: help, version, and every error path with its exit status.
#include <gtest/gtest.h>

#include "HostProcess.h"
#include "TestSupport.h"

using hosttest::Finished;
using hosttest::runHost;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Errors are one line on stderr, named after the program.
void expectOneLineError(const Finished& run, int status, const std::string& part, const std::string& what)
{
    EXPECT_EQ(status, run.status) << what;
    EXPECT_TRUE(contains(run.err, "diaghost: ")) << what << ": " << run.err;
    EXPECT_TRUE(contains(run.err, part)) << what << ": " << run.err;
    EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << what << ": " << run.err;
}

}  // namespace

TEST(HostCli, HelpAndVersionSucceed)
{
    const Finished help = runHost({"--help"});
    EXPECT_EQ(0, help.status);
    for (const char* part : {"info", "list", "run", "--simulate", "--package", "--sysroot", "Exit status", "busy"}) {
        EXPECT_TRUE(contains(help.out, part)) << part;
    }
    const Finished runHelp = runHost({"run", "--help"});
    EXPECT_EQ(0, runHelp.status);
    for (const char* part : {"--device", "--test", "--halt-on-error", "--junit", "--json"}) {
        EXPECT_TRUE(contains(runHelp.out, part)) << part;
    }
    const Finished version = runHost({"--version"});
    EXPECT_EQ(0, version.status);
    EXPECT_EQ("diaghost " DIAGHOST_VERSION "\n", version.out);

    const Finished profiles = runHost({"--simulate=help", "list"});
    EXPECT_EQ(0, profiles.status);
    for (const char* part : {"demo", "healthy", "none", "busy"}) {
        EXPECT_TRUE(contains(profiles.out, part)) << part;
    }
}

TEST(HostCli, UsageErrorsExitWith64)
{
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{}, "a command is required: info, list or run"},
        {{"frobnicate"}, "frobnicate"},
        {{"--bogus", "info"}, "--bogus"},
        {{"run", "--device", "x"}, "modem index"},
        {{"run", "--device"}, "--device"},
        {{"list", "--junit", "f.xml"}, "--junit"},
        {{"--simulate=nope", "run"}, "unknown simulated machine 'nope'"},
        {{"--simulate", "--sysroot", "/", "list"}, "exclude each other"},
        {{"--sysroot", "/nonexistent-sysroot", "list"}, "--sysroot /nonexistent-sysroot: no such folder"},
        {{"run", "--test", "nosuch"}, "unknown test 'nosuch' (tests: dialtone, loopback, at, all)"},
    };
    for (const auto& c : cases) {
        std::string what;
        for (const std::string& arg : c.args) {
            what += arg + " ";
        }
        const Finished run = runHost(c.args);
        expectOneLineError(run, 64, c.error, what);
        EXPECT_EQ("", run.out) << what;
    }
}

TEST(HostCli, UnknownModemIndexIsAUsageError)
{
    testsupport::TempDir tmp;
    expectOneLineError(runHost({"--simulate=healthy", "run", "--device", "7"}, {"TMPDIR=" + tmp.path()}), 64,
                       "no modem with index 7", "--device 7");
}

TEST(HostCli, PackageThatCannotBeLoadedExitsWith3)
{
    testsupport::TempDir dir;
    const std::string manifest = dir.file("pkg.cfg");
    testsupport::writeFile(dir.file("notelf.so"), "this is no shared library\n");
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"[package]\nlibrary = missing.so\n", "cannot load plug-in " + dir.file("missing.so") + ": "},
        {"[package]\nlibrary = notelf.so\n", "cannot load plug-in " + dir.file("notelf.so") + ": "},
        // A real library without the entry points: the host framework.
        {"[package]\nlibrary = " FRAMEWORK_PATH "\n", "has no entry point setPackageConfigFile"},
        {"[package]\nlibrary lib.so\n", "bad package " + manifest + ": line 2"},
    };
    for (const auto& c : cases) {
        testsupport::writeFile(manifest, c.text);
        const Finished run = runHost({"--package", manifest, "info"});
        expectOneLineError(run, 3, c.error, c.text);
        EXPECT_EQ("", run.out) << c.text;
    }
    // dlerror()'s own reason is shown.
    testsupport::writeFile(manifest, "[package]\nlibrary = missing.so\n");
    EXPECT_TRUE(contains(runHost({"--package", manifest, "info"}).err, "No such file or directory"));

    expectOneLineError(runHost({"--package", dir.file("none.cfg"), "list"}), 3,
                       "cannot read package " + dir.file("none.cfg"), "missing manifest");
}

TEST(HostCli, InfoShowsTheDiagnosticAndItsTests)
{
    const Finished info = runHost({"info"});
    EXPECT_EQ(0, info.status) << info.err;
    for (const char* part : {"Modem Test 1.0", "Modem  Controller Test", "dialtone", "loopback", "at ",
                             "/package/modem/pkg.cfg", "/package/log"}) {
        EXPECT_TRUE(contains(info.out, part)) << part << " in:\n" << info.out;
    }
}
