// The loopback test: the modem's self test, its error count, and an abort from another thread.
#include <gtest/gtest.h>

#include <thread>

#include "DiagHarness.h"
#include "ModemDiagMsg.h"

using namespace diagtest;
using namespace QuarnDiags::ModemDiag;
using QuarnDiags::Uint;
using QuarnDiags::Diag::ERROR_EVENT;
using QuarnDiags::Diag::FAILED;
using QuarnDiags::Diag::INFORMATION_EVENT;
using QuarnDiags::Diag::PASSED;
using QuarnDiags::Diag::UNUSUAL_STATUS;
using QuarnDiags::Diag::WARNING_EVENT;

namespace {

const int kLoopback = ModemDiagnostic::LOOPBACK_TEST;

modemsim::ModemProfile CountLine(const std::string& line)
{
    modemsim::ModemProfile profile;
    profile.loopbackCountLine = line;
    return profile;
}

void ExpectWarning(const Outcome& outcome)
{
    EXPECT_EQ(UNUSUAL_STATUS, outcome.verdict);
    EXPECT_EQ(INCORRECT_AT_RESPONSE_WARNING, outcome.code);
    EXPECT_EQ(WARNING_EVENT, outcome.type);
    EXPECT_EQ(std::vector<Uint>{INCORRECT_AT_RESPONSE_WARNING}, outcome.events);
}

// Runs the test and asks for an abort once the self test is under way.
Outcome RunAndAbort(DiagHarness& harness)
{
    std::thread control([&] {
        WaitForCommand(harness.modem, "at&t8", 5000);
        while (harness.diagnostic->getTestStatus(kLoopback).getProgress() < 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        harness.diagnostic->abortDiagnostic();
    });
    const Outcome outcome = harness.run(kLoopback);
    control.join();
    return outcome;
}

}  // namespace

// Each count line is a case of its own, so that ctest runs them side by side.
struct CountCase {
    const char* name;
    const char* line;
    int count;  // as the test reads it
};

class LoopbackCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(LoopbackCount, TheErrorCountDecides)
{
    DiagHarness harness(CountLine(GetParam().line));
    const Outcome outcome = harness.run(kLoopback);
    EXPECT_EQ(100u, outcome.progress);
    EXPECT_NE(std::string::npos,
              harness.log().find("] - " + std::to_string(GetParam().count) + " loopback errors reported\n"));
    if (GetParam().count == 0) {
        EXPECT_EQ(PASSED, outcome.verdict);
        EXPECT_EQ(TEST_COMPLETED_SUCCESSFULLY, outcome.code);
        EXPECT_EQ(INFORMATION_EVENT, outcome.type);
        EXPECT_EQ(std::vector<Uint>{LOOPBACK_TEST_NO_ERRORS_REPORTED}, outcome.events);
    } else {
        EXPECT_EQ(FAILED, outcome.verdict);
        EXPECT_EQ(LOOPBACK_TEST_ERRORS_REPORTED, outcome.code);
        EXPECT_EQ(ERROR_EVENT, outcome.type);
        EXPECT_EQ(std::vector<Uint>{LOOPBACK_TEST_ERRORS_REPORTED}, outcome.events);
    }
}

// Decimal even with a leading zero, blanks skipped, a sign read, and a line
// that is no number counts as no errors.
INSTANTIATE_TEST_SUITE_P(CountLines, LoopbackCount,
                         ::testing::Values(CountCase{"Zeros", "000", 0}, CountCase{"LeadingZero", "012", 12},
                                           CountCase{"LeadingBlanks", "  7", 7}, CountCase{"Negative", "-3", -3},
                                           CountCase{"NotANumber", "OK", 0},
                                           CountCase{"BeyondInt32", "99999999999", 2147483647}),
                         [](const ::testing::TestParamInfo<CountCase>& param) { return param.param.name; });

TEST(LoopbackTest, ACleanSelfTestPassesWithTheWholeLog)
{
    DiagHarness harness;
    const Outcome outcome = harness.run(kLoopback);
    EXPECT_EQ(PASSED, outcome.verdict);
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "at&t8", "ath"}), harness.modem.commands());
    EXPECT_EQ(testsupport::readFile(std::string(DIAG_GOLDEN_DIR) + "/loopback_pass.log"), harness.log());
}

TEST(LoopbackTest, ErrorsReportedAreLoggedAsTheCount)
{
    modemsim::ModemProfile profile;
    profile.loopbackErrors = 12;
    DiagHarness harness(profile);
    EXPECT_EQ(FAILED, harness.run(kLoopback).verdict);
    EXPECT_NE(std::string::npos, harness.log().find("CheckLoopback() [<tty>] - 12 loopback errors reported\n"));
}

TEST(LoopbackTest, AnUnacknowledgedSelfTestIsAWarningWithoutHangUp)
{
    modemsim::ModemProfile profile;
    profile.faults["at&t8"].silent = true;
    DiagHarness harness(profile);
    ExpectWarning(harness.run(kLoopback));
    EXPECT_FALSE(Sent(harness.modem, "ath"));
    EXPECT_NE(std::string::npos, harness.log().find("CheckLoopback() [<tty>] - Aborting test\n"));
}

TEST(LoopbackTest, ALateResetReplyAcknowledgesTheSelfTest)
{
    modemsim::ModemProfile profile;
    profile.faults["ate0"].delayMs = 1300;
    profile.faults["at&t8"].silent = true;
    DiagHarness harness(profile);
    const Outcome outcome = harness.run(kLoopback);
    EXPECT_EQ(PASSED, outcome.verdict);
    EXPECT_EQ(std::vector<Uint>{LOOPBACK_TEST_NO_ERRORS_REPORTED}, outcome.events);
}

TEST(LoopbackTest, NoCountLineIsAWarning)
{
    modemsim::ModemProfile profile;
    profile.faults["ath"].silent = true;
    DiagHarness harness(profile);
    ExpectWarning(harness.run(kLoopback));
    EXPECT_NE(std::string::npos, harness.log().find("CheckLoopback() [<tty>] - Aborting test\n"));
}

TEST(LoopbackTest, AnAbortEndsTheSelfTestButStillReadsTheCount)
{
    modemsim::ModemProfile profile;
    profile.loopbackErrors = 5;  // not looked at once aborted
    DiagHarness harness(profile);
    const Outcome outcome = RunAndAbort(harness);

    EXPECT_EQ(PASSED, outcome.verdict);
    EXPECT_EQ(TEST_ABORTED, outcome.code);
    EXPECT_EQ(INFORMATION_EVENT, outcome.type);
    EXPECT_TRUE(outcome.events.empty());
    EXPECT_LT(outcome.progress, 100u);
    EXPECT_TRUE(Sent(harness.modem, "ath"));
    EXPECT_NE(std::string::npos, harness.log().find("CheckLoopback() [<tty>] - Aborting test\n"));
    EXPECT_EQ(std::string::npos, harness.log().find("loopback errors reported"));
}

TEST(LoopbackTest, AnAbortWithoutCountLineIsStillAWarning)
{
    modemsim::ModemProfile profile;
    profile.faults["ath"].silent = true;
    DiagHarness harness(profile);
    ExpectWarning(RunAndAbort(harness));
}

TEST(LoopbackTest, AModemThatHangsUpDuringTheSelfTestGivesAWarningAndABoundedLog)
{
    modemsim::ModemProfile profile;
    profile.faults["ath"].hangUp = true;
    DiagHarness harness(profile);
    ExpectWarning(harness.run(kLoopback));
    EXPECT_LT(harness.logLines().size(), 400u);
}
