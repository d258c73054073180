// The loopback test: the modem's self test, its error count, and an abort from another thread.
#include <gtest/gtest.h>

#include "DiagHarness.h"

using namespace diagtest;

namespace {

const int kLoopback = ModemDiagnostic::LOOPBACK_TEST;

void ExpectWarning(const Outcome& outcome)
{
    ExpectOutcome(outcome, Diag::UNUSUAL_STATUS, INCORRECT_AT_RESPONSE_WARNING, Diag::WARNING_EVENT,
                  Codes{INCORRECT_AT_RESPONSE_WARNING});
}

struct CountCase {
    const char* name;
    const char* line;  // the count line the modem sends
    int count;         // as the test reads it
};

void PrintTo(const CountCase& c, std::ostream* out)
{
    *out << '"' << c.line << '"';
}

class LoopbackCount : public ::testing::TestWithParam<CountCase> {};

}  // namespace

// Each count line is a case of its own, so that ctest runs them side by side.
TEST_P(LoopbackCount, TheErrorCountDecides)
{
    modemsim::ModemProfile profile;
    profile.answer("H", modemsim::When::InSelfTest).info = GetParam().line;
    DiagHarness harness(profile);
    const Outcome outcome = harness.run(kLoopback);
    EXPECT_EQ(100u, outcome.progress);
    EXPECT_NE(std::string::npos,
              harness.log().find("] - " + std::to_string(GetParam().count) + " loopback errors reported\n"));
    const bool clean = GetParam().count == 0;
    ExpectOutcome(outcome, clean ? Diag::PASSED : Diag::FAILED,
                  clean ? Uint{TEST_COMPLETED_SUCCESSFULLY} : Uint{LOOPBACK_TEST_ERRORS_REPORTED},
                  clean ? Diag::INFORMATION_EVENT : Diag::ERROR_EVENT,
                  Codes{clean ? Uint{LOOPBACK_TEST_NO_ERRORS_REPORTED} : Uint{LOOPBACK_TEST_ERRORS_REPORTED}});
}

// Decimal even with a leading zero, blanks skipped, a sign read, a line that
// is no number counts as no errors, and a huge number stops at the top.
INSTANTIATE_TEST_SUITE_P(CountLines, LoopbackCount,
                         ::testing::Values(CountCase{"Zeros", "000", 0}, CountCase{"LeadingZero", "012", 12},
                                           CountCase{"LeadingBlanks", "  7", 7}, CountCase{"Negative", "-3", -3},
                                           CountCase{"NotANumber", "OK", 0},
                                           CountCase{"BeyondInt32", "99999999999", 2147483647}),
                         [](const ::testing::TestParamInfo<CountCase>& param) { return param.param.name; });

// About 3 s of self test, then a last wait of 1 s for an "OK" that a
// modem which answered everything does not send.
TEST(LoopbackTest, ACleanSelfTestPassesWithTheWholeLog)
{
    DiagHarness harness;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Diag::PASSED, harness.run(kLoopback).verdict);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "at&t8", "ath"}), harness.modem.commands());
    EXPECT_EQ(testsupport::readFile(DIAG_GOLDEN_DIR "/loopback_pass.log"), harness.log());
}

TEST(LoopbackTest, NoAcknowledgementOrNoCountLineIsAWarning)
{
    // The command the modem is silent on, and whether "ath" is sent all the same.
    for (const auto& [silentOn, hangsUp] : {std::make_pair("at&t8", false), std::make_pair("ath", true)}) {
        modemsim::ModemProfile profile;
        profile.faults[silentOn].silent = true;
        DiagHarness harness(profile);
        ExpectWarning(harness.run(kLoopback));
        EXPECT_EQ(hangsUp, harness.sent("ath"));
        EXPECT_NE(std::string::npos, harness.log().find("CheckLoopback() [<tty>] - Aborting test\n"));
    }
}

TEST(LoopbackTest, AnAbortEndsTheSelfTestButStillHangsUpAndReadsTheCount)
{
    modemsim::ModemProfile profile;
    profile.answer("H", modemsim::When::InSelfTest).info = "005";  // not judged once aborted
    DiagHarness harness(profile);
    std::thread control = harness.abortAfter("at&t8", kLoopback, 10);
    const Outcome outcome = harness.run(kLoopback);
    control.join();
    ExpectOutcome(outcome, Diag::PASSED, TEST_ABORTED, Diag::INFORMATION_EVENT, Codes{});
    EXPECT_LT(outcome.progress, 100u);
    EXPECT_TRUE(harness.sent("ath"));
    EXPECT_NE(std::string::npos, harness.log().find("CheckLoopback() [<tty>] - Aborting test\n"));
}

TEST(LoopbackTest, AnAbortWithoutCountLineOrALineThatHangsUpIsAWarning)
{
    for (const bool hangUp : {false, true}) {
        modemsim::ModemProfile profile;
        profile.faults["ath"].silent = !hangUp;
        profile.faults["ath"].hangUp = hangUp;
        DiagHarness harness(profile);
        std::thread control;
        if (!hangUp) {
            control = harness.abortAfter("at&t8", kLoopback, 10);
        }
        ExpectWarning(harness.run(kLoopback));
        if (control.joinable()) {
            control.join();
        }
    }
}

// A count line without its "OK": three more waits of 3 s, each after an
// "ath", then the last 1 s wait; the count is still judged.
TEST(LoopbackTest, AMissingOkAfterTheCountIsAskedForThreeTimes)
{
    modemsim::ModemProfile profile;
    profile.faults["ath"].garbage = "\r\n000\r\n";
    DiagHarness harness(profile);
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = harness.run(kLoopback);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000 + 3 * 3000 + 1000));
    EXPECT_EQ(Diag::PASSED, outcome.verdict);
    EXPECT_EQ(Codes{LOOPBACK_TEST_NO_ERRORS_REPORTED}, outcome.events);
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "at&t8", "ath", "ath", "ath", "ath"}),
              harness.modem.commands());
}

// Nothing clears an abort request: every later run of the same test object
// leaves its self test after the first pause and ends TEST_ABORTED.
TEST(LoopbackTest, ATestObjectThatSawAnAbortEndsEveryLaterRunAborted)
{
    DiagHarness harness;
    harness.diagnostic->test(kLoopback)->abortTest();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        const Outcome outcome = harness.run(kLoopback);
        EXPECT_EQ(Diag::PASSED, outcome.verdict);
        EXPECT_EQ(TEST_ABORTED, outcome.code);
        EXPECT_TRUE(outcome.events.empty());
        EXPECT_EQ(0u, outcome.progress);
    }
}

// Suspension is stored and never read; a resume without one does nothing.
TEST(LoopbackTest, SuspendAndResumeChangeNothing)
{
    DiagHarness harness;
    Diag::IFunctionalTest* test = harness.diagnostic->test(kLoopback);
    test->resumeTest();
    std::thread control = harness.abortAfter("at&t8", kLoopback, 10, [test] { test->suspendTest(); });
    const Outcome outcome = harness.run(kLoopback);
    control.join();
    EXPECT_EQ(Diag::PASSED, outcome.verdict);
    EXPECT_EQ(TEST_COMPLETED_SUCCESSFULLY, outcome.code);
    EXPECT_EQ(100u, outcome.progress);
    test->resumeTest();
    EXPECT_EQ(TEST_COMPLETED_SUCCESSFULLY, harness.run(kLoopback).code);
}
