// The dial tone test: "OK" to the dial means a dial tone; it always hangs up.
#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "DiagHarness.h"

using namespace diagtest;

namespace {

const int kDialtone = ModemDiagnostic::DIALTONE_TEST;

void ExpectNoDialtone(const Outcome& outcome)
{
    ExpectOutcome(outcome, Diag::UNUSUAL_STATUS, NO_DIALTONE_WARNING, Diag::WARNING_EVENT, Codes{NO_DIALTONE});
    EXPECT_EQ(std::vector<Diag::EventType>{Diag::INFORMATION_EVENT}, outcome.eventTypes);
}

}  // namespace

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
    modemsim::ModemProfile noTone;
    noTone.answer("D*;").result = "NO DIALTONE";
    noTone.answer("D*;").delayMs = 500;
    modemsim::ModemProfile late;
    late.faults["atx4d;"].delayMs = 5600;
    for (const auto& profile : {noTone, late, *modemsim::ModemProfile::named("silent")}) {
        DiagHarness harness(profile);
        ExpectNoDialtone(harness.run(kDialtone));
        EXPECT_TRUE(harness.sent("ath"));
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

// Progress 10 while the dial is answered, 90 after the hang-up; then the
// port is closed and only 1.5 s later "Normal exit" is logged. Lower bounds
// only: a watcher that wakes late sees a longer pause, never a shorter one.
TEST(DialtoneTest, ProgressTenWhileDiallingAndAPauseAfterThePortIsClosed)
{
    modemsim::ModemProfile profile;
    profile.faults["atx4d;"].delayMs = 600;  // the dial's answer keeps the progress at 10 for a while
    DiagHarness harness(profile);
    std::atomic<bool> done{false};
    std::set<Uint> progress;
    bool exitLoggedWhenClosed = false;
    long long pauseMs = -1;
    std::thread watcher([&] {
        using namespace std::chrono;
        steady_clock::time_point closed;
        bool seenClosed = false;
        while (pauseMs < 0 && !(done && !seenClosed)) {
            const Uint now = harness.diagnostic->getTestStatus(kDialtone).getProgress();
            progress.insert(now);
            if (!seenClosed && now == 90 && harness.ttyDescriptors() == 1) {
                seenClosed = true;
                closed = steady_clock::now();
                exitLoggedWhenClosed = harness.logged("Normal exit");
            }
            if (seenClosed && harness.logged("Normal exit")) {
                pauseMs = duration_cast<milliseconds>(steady_clock::now() - closed).count();
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
    });
    EXPECT_EQ(Codes{DIALTONE_PRESENT}, harness.run(kDialtone).events);
    done = true;
    watcher.join();
    EXPECT_EQ(1u, progress.count(10));
    EXPECT_EQ(1u, progress.count(90));
    EXPECT_FALSE(exitLoggedWhenClosed);
    EXPECT_GE(pauseMs, 1000);
}
