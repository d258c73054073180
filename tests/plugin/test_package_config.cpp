// Package and log folders derived from the package configuration path.
#include <gtest/gtest.h>

#include "ExportClass.h"

namespace {

struct PackageConfig : ::testing::Test {
    void SetUp() override
    {
        g_configFileName.clear();
        g_packageDirPath = ".";
        g_logDirPath = ".";
    }
};

struct PathCase {
    const char* path;
    const char* packageDir;
    const char* logDir;
};

}  // namespace

TEST_F(PackageConfig, DerivesFoldersFromOneCallAfterLoad)
{
    const PathCase cases[] = {
        {"/usr/lib/diags/modem/pkg.cfg", "/usr/lib/diags/modem", "/usr/lib/diags/log"},
        {"pkg.cfg", ".", "."},           // no slash: both kept
        {"/pkg.cfg", "", "."},           // empty package folder, log folder kept
        {"/a/pkg.cfg", "/a", "/log"},
        {"a/pkg.cfg", "a", "."},         // relative package folder without a parent
        {"/a/b/", "/a/b", "/a/log"},     // trailing slash
    };
    for (const PathCase& c : cases) {
        SetUp();
        setPackageConfigFile(c.path);
        EXPECT_EQ(c.path, g_configFileName);
        EXPECT_EQ(c.packageDir, g_packageDirPath) << c.path;
        EXPECT_EQ(c.logDir, g_logDirPath) << c.path;
    }
}

TEST_F(PackageConfig, LaterCallsKeepWhatTheirPathCannotGive)
{
    setPackageConfigFile("/opt/diags/modem/pkg.cfg");
    setPackageConfigFile("pkg.cfg");
    EXPECT_EQ("/opt/diags/modem", g_packageDirPath);
    EXPECT_EQ("/opt/diags/log", g_logDirPath);

    setPackageConfigFile("local/pkg.cfg");
    EXPECT_EQ("local", g_packageDirPath);
    EXPECT_EQ("/opt/diags/log", g_logDirPath);

    setPackageConfigFile("/srv/x/pkg.cfg");
    EXPECT_EQ("/srv/x", g_packageDirPath);
    EXPECT_EQ("/srv/log", g_logDirPath);
}

#ifdef NDEBUG
TEST_F(PackageConfig, EmptyOrNullPathKeepsTheFoldersInARelease)
{
    setPackageConfigFile("/opt/diags/modem/pkg.cfg");
    setPackageConfigFile("");
    setPackageConfigFile(nullptr);
    EXPECT_EQ("/opt/diags/modem", g_packageDirPath);
    EXPECT_EQ("/opt/diags/log", g_logDirPath);
}
#else
TEST_F(PackageConfig, EmptyOrNullPathAssertsInADebugBuild)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(setPackageConfigFile(""), "g_configFileName");
    EXPECT_DEATH(setPackageConfigFile(nullptr), "g_configFileName");
}
#endif
