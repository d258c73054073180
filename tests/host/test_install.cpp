// The installed layout: cmake --install into a staging folder, then the installed diaghost.
#include <gtest/gtest.h>

#include <unistd.h>

#include "HostProcess.h"
#include "TestSupport.h"

TEST(InstalledPackage, RunsFromTheStagingFolder)
{
    testsupport::TempDir staging;
    testsupport::TempDir tmp;
    int status = -1;
    const std::string log = testsupport::runCommand(
        "'" CMAKE_COMMAND "' --install '" BUILD_DIR "' --prefix '" + staging.path() + "' 2>&1", &status);
    ASSERT_EQ(0, status) << log;

    // The installed program finds the installed package (not the build
    // tree's) and the framework beside it.
    const std::string diaghost = staging.file("bin/diaghost");
    const hosttest::Finished info = hosttest::runHost({"info"}, {}, diaghost);
    EXPECT_EQ(0, info.status) << info.err;
    EXPECT_NE(std::string::npos, info.out.find(staging.file("lib/diags/modem/pkg.cfg"))) << info.out;

    // Exit status 0: the AT command test ran and passed on the simulated modems.
    const hosttest::Finished run =
        hosttest::runHost({"--simulate", "run", "--test", "at"}, {"TMPDIR=" + tmp.path()}, diaghost);
    EXPECT_EQ(0, run.status) << run.out << run.err;

    // The plug-in's logs land in the installed log folder for a real run.
    EXPECT_EQ(3, hosttest::runHost({"list"}, {"MODEMDIAG_SYSROOT=" + tmp.path()}, diaghost).status);
    EXPECT_EQ(0, access(staging.file("lib/diags/log/TSYmodemDeviceEnumerator.log").c_str(), F_OK));
}
