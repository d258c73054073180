// The installed layout: cmake --install into a staging folder, then the installed diaghost.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
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

    const hosttest::Finished run =
        hosttest::runHost({"--simulate", "run", "--test", "at", "--json"}, {"TMPDIR=" + tmp.path()}, diaghost);
    EXPECT_EQ(0, run.status) << run.err;
    const nlohmann::json devices = nlohmann::json::parse(run.out).at("devices");
    ASSERT_EQ(3u, devices.size());
    EXPECT_EQ("PASSED", devices[0]["tests"][0]["verdict"]);
    EXPECT_EQ("PASSED", devices[1]["tests"][0]["verdict"]);

    // The plug-in's logs land in the installed log folder for a real run.
    EXPECT_EQ(3, hosttest::runHost({"list"}, {"MODEMDIAG_SYSROOT=" + tmp.path()}, diaghost).status);
    EXPECT_EQ(0, access(staging.file("lib/diags/log/TSYmodemDeviceEnumerator.log").c_str(), F_OK));
}
