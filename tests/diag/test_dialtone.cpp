// The dial tone test: "OK" to the dial means a dial tone; it always hangs up.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "DiagHarness.h"

using namespace diagtest;

const int kDialtone = ModemDiagnostic::DIALTONE_TEST;

TEST(DialtoneTest, DialToneDetectedPassesAndHangsUpWhateverAbortOrHaltSay)
{
    DiagHarness harness;
    std::thread control = harness.abortAfter("atx4d;", kDialtone, 0);
    const Outcome outcome = harness.run(kDialtone, /*haltOnError=*/true);
    control.join();
    EXPECT_EQ(Diag::PASSED, outcome.verdict);
    EXPECT_EQ(TEST_COMPLETED_SUCCESSFULLY, outcome.code);
    EXPECT_EQ(Codes{DIALTONE_PRESENT}, outcome.events);
    EXPECT_EQ(90u, outcome.progress);
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "atx4d;", "ath"}), harness.modem.commands());
    EXPECT_EQ(testsupport::readFile(DIAG_GOLDEN_DIR "/dialtone_pass.log"), harness.log());
}

TEST(DialtoneTest, NoDialToneAnOkTooLateOrSilenceIsAWarning)
{
    modemsim::ModemProfile late;
    late.faults["atx4d;"].delayMs = 5600;
    for (const auto& profile :
         {*modemsim::ModemProfile::named("nodialtone"), late, *modemsim::ModemProfile::named("silent")}) {
        DiagHarness harness(profile);
        const Outcome outcome = harness.run(kDialtone);
        ExpectOutcome(outcome, Diag::UNUSUAL_STATUS, NO_DIALTONE_WARNING, Diag::WARNING_EVENT, Codes{NO_DIALTONE});
        EXPECT_EQ(std::vector<Diag::EventType>{Diag::INFORMATION_EVENT}, outcome.eventTypes);
        EXPECT_TRUE(harness.sent("ath"));
        EXPECT_TRUE(harness.logged("No dialtone detected"));
    }
}

TEST(DialtoneTest, ALateResetReplyIsTakenAsTheDialAnswer)
{
    // Nothing is flushed after the reset: the "OK" to ate0 that comes after
    // its wait is what the dial's wait finds.
    modemsim::ModemProfile profile;
    profile.answer("D*;").result = "NO DIALTONE";
    profile.faults["ate0"].delayMs = 1300;
    DiagHarness harness(profile);
    EXPECT_EQ(Codes{DIALTONE_PRESENT}, harness.run(kDialtone).events);
}

// Progress 10 while the dial is answered; after the hang-up the port is
// closed, and only 1.5 s later "Normal exit" is logged and the run ends. A
// lower bound only: a watcher that wakes late sees a longer pause, not a shorter one.
TEST(DialtoneTest, ProgressTenWhileDiallingAndAPauseAfterThePortIsClosed)
{
    modemsim::ModemProfile profile;
    profile.faults["atx4d;"].delayMs = 600;  // the dial's answer keeps the progress at 10 for a while
    DiagHarness harness(profile);
    std::atomic<bool> ended{false};
    std::set<Uint> progress;
    std::chrono::steady_clock::time_point closed;
    bool exitLoggedWhenClosed = true;
    std::thread watcher([&] {
        // Closed: "ath" was sent and only the modem's own descriptor is left.
        while (!ended && (!harness.sent("ath") || harness.ttyDescriptors() != 1)) {
            progress.insert(harness.diagnostic->getTestStatus(kDialtone).getProgress());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        closed = std::chrono::steady_clock::now();
        exitLoggedWhenClosed = harness.logged("Normal exit");
    });
    EXPECT_EQ(Codes{DIALTONE_PRESENT}, harness.run(kDialtone).events);
    const auto end = std::chrono::steady_clock::now();
    ended = true;
    watcher.join();
    EXPECT_EQ(1u, progress.count(10));
    EXPECT_FALSE(exitLoggedWhenClosed);
    EXPECT_GE(end - closed, std::chrono::milliseconds(1000));
}
