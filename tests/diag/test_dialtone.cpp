// The dial tone test: "OK" to the dial means a dial tone; it always hangs up.
#include <gtest/gtest.h>

#include <thread>

#include "DiagHarness.h"
#include "ModemDiagMsg.h"

using namespace diagtest;
using namespace QuarnDiags::ModemDiag;
using QuarnDiags::Diag::INFORMATION_EVENT;
using QuarnDiags::Diag::PASSED;
using QuarnDiags::Diag::UNUSUAL_STATUS;
using QuarnDiags::Diag::WARNING_EVENT;

namespace {

const int kDialtone = ModemDiagnostic::DIALTONE_TEST;

modemsim::ModemProfile NoDialtone()
{
    modemsim::ModemProfile profile;
    profile.dialTone = false;
    profile.noDialToneDelayMs = 500;
    return profile;
}

void ExpectNoDialtone(const Outcome& outcome)
{
    EXPECT_EQ(UNUSUAL_STATUS, outcome.verdict);
    EXPECT_EQ(NO_DIALTONE_WARNING, outcome.code);
    EXPECT_EQ(WARNING_EVENT, outcome.type);
    EXPECT_EQ(std::vector<QuarnDiags::Uint>{NO_DIALTONE}, outcome.events);
    EXPECT_EQ(std::vector<QuarnDiags::Diag::EventType>{INFORMATION_EVENT}, outcome.eventTypes);
}

}  // namespace

TEST(DialtoneTest, DialToneDetectedPassesAndHangsUp)
{
    DiagHarness harness;
    // Abort and halt on error are no business of this test.
    std::thread control([&] {
        WaitForCommand(harness.modem, "atx4d;", 5000);
        harness.diagnostic->abortDiagnostic();
    });
    const Outcome outcome = harness.run(kDialtone, /*haltOnError=*/true);
    control.join();

    EXPECT_EQ(PASSED, outcome.verdict);
    EXPECT_EQ(TEST_COMPLETED_SUCCESSFULLY, outcome.code);
    EXPECT_EQ(std::vector<QuarnDiags::Uint>{DIALTONE_PRESENT}, outcome.events);
    EXPECT_EQ(90u, outcome.progress);
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "atx4d;", "ath"}), harness.modem.commands());
    EXPECT_EQ(testsupport::readFile(std::string(DIAG_GOLDEN_DIR) + "/dialtone_pass.log"), harness.log());
}

TEST(DialtoneTest, NoDialToneIsAWarningAfterTheFullWait)
{
    DiagHarness harness(NoDialtone());
    ExpectNoDialtone(harness.run(kDialtone));
    EXPECT_TRUE(Sent(harness.modem, "ath"));
    EXPECT_NE(std::string::npos, harness.log().find("CheckForDialtone() [<tty>] - No dialtone detected\n"));
}

TEST(DialtoneTest, AnOkLaterThanTheDialWaitIsNoDialTone)
{
    modemsim::ModemProfile profile;
    profile.faults["atx4d;"].delayMs = 5600;
    DiagHarness harness(profile);
    ExpectNoDialtone(harness.run(kDialtone));
}

TEST(DialtoneTest, ALateResetReplyIsTakenAsTheDialAnswer)
{
    // Nothing is flushed after the reset: the "OK" to ate0 that comes after
    // its wait is what the dial's wait finds.
    modemsim::ModemProfile profile = NoDialtone();
    profile.faults["ate0"].delayMs = 1300;
    DiagHarness harness(profile);
    const Outcome outcome = harness.run(kDialtone);
    EXPECT_EQ(PASSED, outcome.verdict);
    EXPECT_EQ(std::vector<QuarnDiags::Uint>{DIALTONE_PRESENT}, outcome.events);
}

TEST(DialtoneTest, ASilentModemIsNoDialToneNotAFailure)
{
    DiagHarness harness(*modemsim::ModemProfile::named("silent"));
    ExpectNoDialtone(harness.run(kDialtone));
}
