// The modemsim command: usage, usage errors, and modems that run until told to stop.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "TestSupport.h"

using testsupport::runCommand;

namespace {

const std::string kModemsim = MODEMSIM_PATH;

TEST(ModemsimCli, HelpAndUsageErrors)
{
    int status = -1;
    const std::string help = runCommand(kModemsim + " --help", &status);
    EXPECT_EQ(0, status);
    EXPECT_NE(std::string::npos, help.find("--modems N"));
    EXPECT_NE(std::string::npos, help.find("nodialtone-loopback-errors"));

    for (const char* args : {" --modems 0", " --modems x", " --profile nope", " --bogus", " stray", " --modems"}) {
        const std::string errors = runCommand(kModemsim + args + " 2>&1", &status);
        EXPECT_EQ(64, status) << args;
        EXPECT_EQ(0u, errors.find("modemsim: ")) << args;
    }
}

TEST(ModemsimCli, PrintsOneTtyPerModemAndStopsOnSigterm)
{
    int status = -1;
    const std::string out = runCommand(
        "timeout -s TERM 1 " + kModemsim + " --modems 2 --profile healthy,silent 2>/dev/null; echo rc=$?", &status);
    std::istringstream lines(out);
    std::string first, second, rc;
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, rc);
    EXPECT_EQ(0u, first.find("/dev/pts/")) << out;
    EXPECT_EQ(0u, second.find("/dev/pts/")) << out;
    EXPECT_NE(first, second);
    // timeout answers 124 when it had to send the signal; a crash on the
    // signal would show as 128 plus its number.
    EXPECT_EQ("rc=124", rc);
}

}  // namespace
