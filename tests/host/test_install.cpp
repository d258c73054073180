// The installed layout: cmake --install into a staging folder, then the installed diaghost.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "HostProcess.h"
#include "TestSupport.h"

using hosttest::Finished;

namespace {

bool exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

bool isFolder(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

TEST(InstalledPackage, RunsFromTheStagingFolder)
{
    testsupport::TempDir staging;
    testsupport::TempDir tmp;
    int status = -1;
    const std::string log = testsupport::runCommand(
        "'" CMAKE_COMMAND "' --install '" BUILD_DIR "' --prefix '" + staging.path() + "' 2>&1", &status);
    ASSERT_EQ(0, status) << log;

    for (const char* file : {"lib/diags/modem/libTSYmodemDiag.so", "lib/diags/modem/pkg.cfg", "lib/libdiagframework.so",
                             "bin/diaghost", "bin/modemsim", "bin/verinfo", "share/man/man1/diaghost.1.gz"}) {
        EXPECT_TRUE(exists(staging.file(file))) << file;
    }
    EXPECT_TRUE(isFolder(staging.file("lib/diags/log")));

    // The installed program finds the installed package (not the build
    // tree's) and the framework beside it.
    const std::string diaghost = staging.file("bin/diaghost");
    const Finished info = hosttest::runHost({"info"}, {}, diaghost);
    EXPECT_EQ(0, info.status) << info.err;
    EXPECT_NE(std::string::npos, info.out.find(staging.file("lib/diags/modem/pkg.cfg"))) << info.out;

    const Finished run =
        hosttest::runHost({"--simulate", "run", "--test", "at", "--json"}, {"TMPDIR=" + tmp.path()}, diaghost);
    EXPECT_EQ(0, run.status) << run.err;
    const nlohmann::json document = nlohmann::json::parse(run.out);
    ASSERT_EQ(3u, document["devices"].size());
    EXPECT_EQ("PASSED", document["devices"][0]["tests"][0]["verdict"]);
    EXPECT_EQ("PASSED", document["devices"][1]["tests"][0]["verdict"]);
    EXPECT_TRUE(document["devices"][2]["tests"].empty());

    // The plug-in's logs land in the installed log folder for a real run.
    const Finished list = hosttest::runHost({"list"}, {"MODEMDIAG_SYSROOT=" + tmp.path()}, diaghost);
    EXPECT_EQ(3, list.status);
    EXPECT_TRUE(exists(staging.file("lib/diags/log/TSYmodemDeviceEnumerator.log")));
}
