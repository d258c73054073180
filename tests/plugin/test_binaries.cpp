// The delivered binaries: verinfo's output and the plug-in's exported names.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>

#include "TestSupport.h"

using testsupport::runCommand;

TEST(VerInfo, PrintsTheVersionLineWhateverItsArguments)
{
    const std::string expected =
        "static const char * const VL_D_Version_3_0_0_72_3.5.22.3 = \"3.0.0.72_3.5.22.3\";\n";
    for (const char* args : {"", " --help", " -x some words"}) {
        int status = -1;
        EXPECT_EQ(expected, runCommand(std::string(VERINFO_PATH) + args, &status)) << args;
        EXPECT_EQ(0, status) << args;
    }
}

TEST(PluginLibrary, ExportsThePlainNamesAndHidesItsClasses)
{
    void* handle = dlopen(PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, handle) << dlerror();
    for (const char* name : {"setPackageConfigFile", "ErrorMessage", "ProgressMessage", "LogMessage",
                             "SetFunctionName", "ReportVerboseData", "ReportInternalError", "GetTestParameter",
                             "gVerboseMode", "main"}) {
        EXPECT_NE(nullptr, dlsym(handle, name)) << name;
    }
    // Internal state and the plug-in's own classes stay hidden.
    for (const char* name : {"g_logDirPath", "gFunctionName", "gpLogFile"}) {
        EXPECT_EQ(nullptr, dlsym(handle, name)) << name;
    }
    dlclose(handle);

    int status = -1;
    const std::string exported =
        runCommand("nm -D --defined-only " + std::string(PLUGIN_PATH) + " | grep -c 'QuarnDiags9ModemDiag'", &status);
    EXPECT_EQ("0\n", exported);
}
