// The modemsim command: usage, usage errors, and modems that run until told to stop.
#include <gtest/gtest.h>

#include "TestSupport.h"

using testsupport::runCommand;

namespace {

const std::string kModemsim = MODEMSIM_PATH;

TEST(ModemsimCli, HelpAndUsageErrors)
{
    int status = -1;
    EXPECT_NE(std::string::npos, runCommand(kModemsim + " --help", &status).find("--modems N"));
    EXPECT_EQ(0, status);
    for (const char* args : {" --modems 0", " --modems x", " --profile nope", " --bogus", " stray", " --modems"}) {
        EXPECT_EQ(0u, runCommand(kModemsim + args + " 2>&1", &status).find("modemsim: ")) << args;
        EXPECT_EQ(64, status) << args;
    }
}

TEST(ModemsimCli, PrintsOneTtyPerModemAndStopsCleanlyOnSigterm)
{
    // timeout answers 124 when it had to send the signal; a crash on the
    // signal would give 128 plus its number.
    const std::string out =
        runCommand("timeout -s TERM 1 " + kModemsim + " --modems 2 --profile healthy,silent 2>/dev/null; echo $?");
    const std::size_t second = out.find("\n/dev/pts/");
    EXPECT_EQ(0u, out.find("/dev/pts/")) << out;
    ASSERT_NE(std::string::npos, second) << out;
    EXPECT_EQ("124\n", out.substr(out.find('\n', second + 1) + 1)) << out;
}

}  // namespace
