// diaghost on a pseudo-terminal: the live progress bar, colours and the restored terminal.
#include <gtest/gtest.h>

#include "HostProcess.h"
#include "TestSupport.h"

using hosttest::Finished;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(HostTerminal, ProgressBarOfAPassingAtTestReaches100AndTheCursorComesBack)
{
    testsupport::TempDir tmp;
    const Finished run = hosttest::runHostOnTerminal({"--simulate=healthy", "run", "--test", "at"},
                                                     {"TMPDIR=" + tmp.path(), "TERM=xterm", "NO_COLOR="});
    EXPECT_EQ(0, run.status) << run.out;
    // The bar is redrawn in place: a full bar at 100%, erased line by line.
    EXPECT_TRUE(contains(run.out, "[" + std::string(30, '#') + "] 100%")) << run.out;
    EXPECT_TRUE(contains(run.out, "\r\033[2K")) << run.out;
    EXPECT_TRUE(contains(run.out, "\033[?25h")) << "cursor shown again";
    // Events come with their symbolic names and texts, the verdict in colour.
    EXPECT_TRUE(contains(run.out, "CORRECT_AT_RESPONSE: The modem acknowledged")) << run.out;
    EXPECT_TRUE(contains(run.out, "\033[32mPASSED")) << run.out;
    EXPECT_TRUE(contains(run.out, "Summary")) << run.out;
    EXPECT_FALSE(contains(run.out, "at: started")) << "plain lines are for pipes";
}

TEST(HostTerminal, NoColorKeepsTheBarButDropsTheColours)
{
    testsupport::TempDir tmp;
    const Finished run = hosttest::runHostOnTerminal({"--simulate=healthy", "run", "--test", "at"},
                                                     {"TMPDIR=" + tmp.path(), "TERM=xterm", "NO_COLOR=1"});
    EXPECT_EQ(0, run.status) << run.out;
    EXPECT_TRUE(contains(run.out, "] 100%")) << run.out;
    EXPECT_FALSE(contains(run.out, "\033[3")) << run.out;
    EXPECT_FALSE(contains(run.out, "\033[1m")) << run.out;
}
