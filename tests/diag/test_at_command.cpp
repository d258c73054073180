// The AT command test: each fax class command acknowledged, or counted wrong.
#include <gtest/gtest.h>

#include <algorithm>

#include "DiagHarness.h"

using namespace diagtest;

namespace {

const int kAt = ModemDiagnostic::AT_COMMAND_TEST;
const Uint kOk = CORRECT_AT_RESPONSE;
const Uint kWrong = INCORRECT_AT_RESPONSE_ERROR;

// A modem that answers the fax class command with "ERROR".
modemsim::ModemProfile Refusing(const char* fclass)
{
    modemsim::ModemProfile profile;
    profile.answer(fclass).result = "ERROR";
    return profile;
}

}  // namespace

// An abort request, here while at+fclass=1 is answered, changes nothing:
// only the loopback test reacts to one.
TEST(AtCommandTest, AllAcknowledgedPassesWithTheWholeLogWhateverAnAbortSays)
{
    modemsim::ModemProfile profile;
    profile.faults["at+fclass=1"].delayMs = 300;
    DiagHarness harness(profile);
    std::thread control = harness.abortAfter("at+fclass=1", kAt, 0);
    const Outcome outcome = harness.run(kAt);
    control.join();
    ExpectOutcome(outcome, Diag::PASSED, TEST_COMPLETED_SUCCESSFULLY, Diag::INFORMATION_EVENT, Codes{kOk, kOk, kOk});
    EXPECT_EQ(100u, outcome.progress);
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "ati3", "at+fclass=1", "at+fclass=2", "at+fclass=2.0"}),
              harness.modem.commands());
    EXPECT_EQ(testsupport::readFile(DIAG_GOLDEN_DIR "/at_command_pass.log"), harness.log());
}

// Refusals fail the test, and halt on error stops at the first. A late "OK"
// is taken by the next command's wait: nothing is flushed between commands.
// Either way the check leaves through its normal exit. (The serial tests
// check how an "OK" is found among other bytes, and that a dead line is read
// at a paced rate.)
TEST(AtCommandTest, RefusedOrLateAnswersAndAHangUp)
{
    modemsim::ModemProfile late = Refusing("+FCLASS=2"), hangUp;
    late.faults["at+fclass=1"].delayMs = 1300;
    hangUp.faults["at+fclass=1"].hangUp = true;
    const struct {
        modemsim::ModemProfile profile;
        bool halt;
        Codes events;
        Uint progress;
        const char* notSent;
    } cases[] = {
        {Refusing("+FCLASS=2.0"), false, {kOk, kOk, kWrong}, 100, ""},
        {Refusing("+FCLASS=1"), true, {kWrong, HALTED_ON_ERROR}, 0, "at+fclass=2"},
        {Refusing("+FCLASS=2"), true, {kOk, kWrong, HALTED_ON_ERROR}, 33, "at+fclass=2.0"},
        {late, false, {kWrong, kOk, kOk}, 100, ""},  // the refused at+fclass=2 takes the late OK
        {hangUp, false, {kWrong, kWrong, kWrong}, 100, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        DiagHarness harness(c.profile);
        const Outcome outcome = harness.run(kAt, c.halt);
        const bool failed = std::count(c.events.begin(), c.events.end(), kWrong) != 0;
        ExpectOutcome(outcome, failed ? Diag::FAILED : Diag::PASSED,
                      failed ? Uint{INCORRECT_AT_RESPONSE_ERROR} : Uint{TEST_COMPLETED_SUCCESSFULLY},
                      failed ? Diag::ERROR_EVENT : Diag::INFORMATION_EVENT, c.events);
        for (std::size_t i = 0; i < outcome.events.size(); ++i) {
            EXPECT_EQ(outcome.events[i] == kWrong ? Diag::ERROR_EVENT : Diag::INFORMATION_EVENT, outcome.eventTypes[i]);
        }
        EXPECT_EQ(c.progress, outcome.progress);
        EXPECT_FALSE(harness.sent(c.notSent));
        EXPECT_TRUE(harness.logged("Normal exit"));
        EXPECT_FALSE(harness.logged("Aborting test"));
    }
}
