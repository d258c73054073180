// The dial tone test: "OK" to the dial means a dial tone; it always hangs up.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "DiagHarness.h"

using namespace diagtest;

const int kDialtone = ModemDiagnostic::DIALTONE_TEST;

// Progress 10 while the dial is answered; after the hang-up the port is
// closed, and only 1.5 s later "Normal exit" is logged and the run ends. A
// lower bound only: a watcher that wakes late sees a longer pause, not a
// shorter one.
TEST(DialtoneTest, DialToneDetectedPassesAndHangsUpWhateverAbortOrHaltSay)
{
    modemsim::ModemProfile profile;
    profile.faults["atx4d;"].delayMs = 600;  // the dial's answer keeps the progress at 10 for a while
    DiagHarness harness(profile);
    std::thread control = harness.abortAfter("atx4d;", kDialtone, 0);
    std::atomic<bool> ended{false};
    std::set<Uint> progress;
    std::chrono::steady_clock::time_point closed;
    bool exitLoggedWhenClosed = true;
    std::thread watcher([&] {
        // Closed: "ath" was sent and only the modem's own descriptor is open on its tty.
        while (!ended && (!harness.sent("ath") || testsupport::openDescriptors(harness.modem.slavePath()) != 1)) {
            progress.insert(harness.diagnostic->getTestStatus(kDialtone).getProgress());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        closed = std::chrono::steady_clock::now();
        exitLoggedWhenClosed = harness.logged("Normal exit");
    });
    const Outcome outcome = harness.run(kDialtone, /*haltOnError=*/true);
    const auto end = std::chrono::steady_clock::now();
    ended = true;
    watcher.join();
    control.join();
    ExpectOutcome(outcome, Diag::PASSED, TEST_COMPLETED_SUCCESSFULLY, Diag::INFORMATION_EVENT, Codes{DIALTONE_PRESENT});
    EXPECT_EQ(90u, outcome.progress);
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "atx4d;", "ath"}), harness.modem.commands());
    EXPECT_EQ(testsupport::readFile(DIAG_GOLDEN_DIR "/dialtone_pass.log"), harness.log());
    EXPECT_EQ(1u, progress.count(10));
    EXPECT_FALSE(exitLoggedWhenClosed);
    EXPECT_GE(end - closed, std::chrono::milliseconds(1000));
}

// No dial tone, an "OK" later than the dial's 5 s wait, or silence: a
// warning. Nothing is flushed after the reset: a late "OK" to ate0 is what
// the dial's wait finds, a dial tone. Either way the modem is hung up.
TEST(DialtoneTest, TheDialsAnswerDecidesAndTheModemIsHungUp)
{
    const modemsim::ModemProfile noTone = *modemsim::ModemProfile::named("nodialtone");
    modemsim::ModemProfile late, lateReset = noTone;
    late.faults["atx4d;"].delayMs = 5600;
    lateReset.faults["ate0"].delayMs = 1300;
    const std::pair<modemsim::ModemProfile, bool> cases[] = {
        {noTone, false}, {late, false}, {*modemsim::ModemProfile::named("silent"), false}, {lateReset, true}};
    for (const auto& [profile, tone] : cases) {
        DiagHarness harness(profile);
        const Outcome outcome = harness.run(kDialtone);
        ExpectOutcome(outcome, tone ? Diag::PASSED : Diag::UNUSUAL_STATUS,
                      tone ? Uint{TEST_COMPLETED_SUCCESSFULLY} : Uint{NO_DIALTONE_WARNING},
                      tone ? Diag::INFORMATION_EVENT : Diag::WARNING_EVENT, Codes{tone ? DIALTONE_PRESENT : NO_DIALTONE});
        EXPECT_EQ(std::vector<Diag::EventType>{Diag::INFORMATION_EVENT}, outcome.eventTypes);
        EXPECT_TRUE(harness.sent("ath"));
        EXPECT_TRUE(harness.logged(tone ? "Dialtone detected" : "No dialtone detected"));
    }
}

