// The loopback test: the modem's self test, its error count, and an abort from another thread.
#include <gtest/gtest.h>

#include "DiagHarness.h"

using namespace diagtest;

const int kLoopback = ModemDiagnostic::LOOPBACK_TEST;

// About 3 s of self test, then a last wait of 1 s for an "OK" that a modem
// which answered everything does not send. Its count line is "000". A
// suspension is stored and never read, and a resume without one does nothing.
TEST(LoopbackTest, ACleanSelfTestPassesWithTheWholeLogSuspendedOrNot)
{
    DiagHarness harness;
    harness.diagnostic->test(kLoopback)->resumeTest();
    harness.diagnostic->test(kLoopback)->suspendTest();
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = harness.run(kLoopback);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000));
    ExpectOutcome(outcome, Diag::PASSED, TEST_COMPLETED_SUCCESSFULLY, Diag::INFORMATION_EVENT,
                  Codes{LOOPBACK_TEST_NO_ERRORS_REPORTED});
    EXPECT_EQ(100u, outcome.progress);
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "at&t8", "ath"}), harness.modem.commands());
    EXPECT_EQ(testsupport::readFile(DIAG_GOLDEN_DIR "/loopback_pass.log"), harness.log());
}

// Decimal even with a leading zero, blanks skipped, a sign read, a line that
// is no number counts as no errors, and a huge number stops at the top.
TEST(LoopbackTest, TheErrorCountDecides)
{
    const std::pair<const char*, int> lines[] = {
        {"012", 12}, {"  7", 7}, {"-3", -3}, {"OK", 0}, {"99999999999", 2147483647}};
    for (const auto& [line, count] : lines) {
        SCOPED_TRACE(line);
        modemsim::ModemProfile profile;
        profile.answer("H", modemsim::When::InSelfTest).info = line;  // the count line after the self test
        DiagHarness harness(profile);
        const Outcome outcome = harness.run(kLoopback);
        EXPECT_TRUE(harness.logged(std::to_string(count) + " loopback errors reported"));
        const Uint code = count == 0 ? Uint{LOOPBACK_TEST_NO_ERRORS_REPORTED} : Uint{LOOPBACK_TEST_ERRORS_REPORTED};
        ExpectOutcome(outcome, count == 0 ? Diag::PASSED : Diag::FAILED,
                      count == 0 ? Uint{TEST_COMPLETED_SUCCESSFULLY} : code,
                      count == 0 ? Diag::INFORMATION_EVENT : Diag::ERROR_EVENT, Codes{code});
    }
}

// No acknowledgement of the self test, or no count line (silence, a hang-up,
// also after an abort, which does not win over the missing count): a warning,
// and "ath" is sent once the self test has begun.
TEST(LoopbackTest, NoAcknowledgementOrNoCountLineIsAWarning)
{
    const struct {
        const char* silentOn;
        bool hangUp;
        bool abort;
    } cases[] = {{"at&t8", false, false}, {"ath", false, false}, {"ath", true, false}, {"ath", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.silentOn) + (c.hangUp ? " hang-up" : "") + (c.abort ? " abort" : ""));
        modemsim::ModemProfile profile;
        profile.faults[c.silentOn].silent = !c.hangUp;
        profile.faults[c.silentOn].hangUp = c.hangUp;
        DiagHarness harness(profile);
        std::thread control = c.abort ? harness.abortAfter("at&t8", kLoopback, 10) : std::thread();
        const Outcome outcome = harness.run(kLoopback);
        if (control.joinable()) {
            control.join();
        }
        ExpectOutcome(outcome, Diag::UNUSUAL_STATUS, INCORRECT_AT_RESPONSE_WARNING, Diag::WARNING_EVENT,
                      Codes{INCORRECT_AT_RESPONSE_WARNING});
        EXPECT_EQ(std::string(c.silentOn) == "ath", harness.sent("ath"));
        EXPECT_TRUE(harness.logged("Aborting test"));
    }
}

// An abort ends the self test, yet the modem is hung up and its count read
// (not judged). Nothing clears the request: a later run of the same test
// object leaves its self test after the first pause, aborted too.
TEST(LoopbackTest, AnAbortEndsThisRunAndEveryLaterOne)
{
    DiagHarness harness(*modemsim::ModemProfile::named("loopback-errors"));
    std::thread control = harness.abortAfter("at&t8", kLoopback, 10);
    Outcome outcome = harness.run(kLoopback);
    control.join();
    ExpectOutcome(outcome, Diag::PASSED, TEST_ABORTED, Diag::INFORMATION_EVENT, Codes{});
    EXPECT_LT(outcome.progress, 100u);
    EXPECT_TRUE(harness.sent("ath"));
    EXPECT_TRUE(harness.logged("Aborting test"));
    outcome = harness.run(kLoopback);
    ExpectOutcome(outcome, Diag::PASSED, TEST_ABORTED, Diag::INFORMATION_EVENT, Codes{});
    EXPECT_EQ(0u, outcome.progress);
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
    ExpectOutcome(outcome, Diag::PASSED, TEST_COMPLETED_SUCCESSFULLY, Diag::INFORMATION_EVENT,
                  Codes{LOOPBACK_TEST_NO_ERRORS_REPORTED});
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "at&t8", "ath", "ath", "ath", "ath"}),
              harness.modem.commands());
}
