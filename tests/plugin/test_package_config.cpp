// Package and log folders derived from the package configuration path.
#include <gtest/gtest.h>

#include "ExportClass.h"

// Calls in this order: each row's folders follow from its path, or stay as
// the rows before left them where its path cannot give them.
TEST(PackageConfig, DerivesTheFoldersAndKeepsWhatAPathCannotGive)
{
    const struct {
        const char* path;
        const char* packageDir;
        const char* logDir;
    } rows[] = {
        {"/usr/lib/diags/modem/pkg.cfg", "/usr/lib/diags/modem", "/usr/lib/diags/log"},
        {"pkg.cfg", "/usr/lib/diags/modem", "/usr/lib/diags/log"},  // no slash: both kept
        {"local/pkg.cfg", "local", "/usr/lib/diags/log"},           // no parent: log folder kept
        {"/a/b/", "/a/b", "/a/log"},                                // trailing slash
        {"/pkg.cfg", "", "/a/log"},                                 // empty package folder
        {"/a/pkg.cfg", "/a", "/log"},
    };
    for (const auto& row : rows) {
        setPackageConfigFile(row.path);
        EXPECT_EQ(row.path, g_configFileName);
        EXPECT_EQ(row.packageDir, g_packageDirPath) << row.path;
        EXPECT_EQ(row.logDir, g_logDirPath) << row.path;
    }
}

// An empty or null path breaks the host's side: a debug build stops, a
// release build keeps the folders it had.
TEST(PackageConfig, EmptyOrNullPath)
{
    setPackageConfigFile("/opt/diags/modem/pkg.cfg");
#ifdef NDEBUG
    setPackageConfigFile("");
    setPackageConfigFile(nullptr);
    EXPECT_EQ("/opt/diags/modem", g_packageDirPath);
    EXPECT_EQ("/opt/diags/log", g_logDirPath);
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(setPackageConfigFile(""), "g_configFileName");
    EXPECT_DEATH(setPackageConfigFile(nullptr), "g_configFileName");
#endif
}
