// The AT command test: each fax class command acknowledged, or counted wrong.
#include <gtest/gtest.h>

#include "DiagHarness.h"

using namespace diagtest;

namespace {

const int kAt = ModemDiagnostic::AT_COMMAND_TEST;
const Uint kOk = CORRECT_AT_RESPONSE;
const Uint kWrong = INCORRECT_AT_RESPONSE_ERROR;

modemsim::ModemProfile Accepting(bool fclass1, bool fclass2, bool fclass20)
{
    modemsim::ModemProfile profile;
    profile.answer("+FCLASS=1").result = fclass1 ? "OK" : "ERROR";
    profile.answer("+FCLASS=2").result = fclass2 ? "OK" : "ERROR";
    profile.answer("+FCLASS=2.0").result = fclass20 ? "OK" : "ERROR";
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
    EXPECT_EQ(Diag::PASSED, outcome.verdict);
    EXPECT_EQ(TEST_COMPLETED_SUCCESSFULLY, outcome.code);
    EXPECT_EQ((Codes{kOk, kOk, kOk}), outcome.events);
    EXPECT_EQ(100u, outcome.progress);
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "ati3", "at+fclass=1", "at+fclass=2", "at+fclass=2.0"}),
              harness.modem.commands());
    EXPECT_EQ(testsupport::readFile(DIAG_GOLDEN_DIR "/at_command_pass.log"), harness.log());
}

TEST(AtCommandTest, RefusalsFailTheTestAndHaltOnErrorStopsAtTheFirst)
{
    struct Case {
        modemsim::ModemProfile profile;
        bool halt;
        Codes events;
        Uint progress;
        const char* notSent;
    };
    const Case cases[] = {
        {Accepting(true, true, false), false, {kOk, kOk, kWrong}, 100, ""},
        {Accepting(false, true, true), true, {kWrong, HALTED_ON_ERROR}, 0, "at+fclass=2"},
        {Accepting(true, false, true), true, {kOk, kWrong, HALTED_ON_ERROR}, 33, "at+fclass=2.0"},
    };
    for (const Case& c : cases) {
        DiagHarness harness(c.profile);
        const Outcome outcome = harness.run(kAt, c.halt);
        ExpectOutcome(outcome, Diag::FAILED, INCORRECT_AT_RESPONSE_ERROR, Diag::ERROR_EVENT, c.events);
        for (std::size_t i = 0; i < outcome.events.size(); ++i) {
            EXPECT_EQ(outcome.events[i] == kWrong ? Diag::ERROR_EVENT : Diag::INFORMATION_EVENT, outcome.eventTypes[i]);
        }
        EXPECT_EQ(c.progress, outcome.progress);
        EXPECT_FALSE(harness.sent(c.notSent));
        // A halt too leaves through the normal exit.
        EXPECT_TRUE(harness.logged("Normal exit"));
        EXPECT_FALSE(harness.logged("Aborting test"));
    }
}

// A late "OK" is taken by the next command's wait: nothing is flushed
// between commands. (The serial tests check that a dead line is read at a
// paced rate.)
TEST(AtCommandTest, LateOrMalformedAnswersAndAHangUp)
{
    modemsim::CommandFault late, bare, inText, noise, hangUp;
    late.delayMs = 1300;
    bare.noLineEnds = true;
    inText.garbage = "\x7f\xff O K \r\nOKAY";
    noise.garbage = "\x01\x02O\xffK\r\n";
    hangUp.hangUp = true;
    const struct {
        modemsim::CommandFault fault;  // on at+fclass=1
        bool fclass2;                  // whether at+fclass=2 is accepted
        Codes events;
    } cases[] = {
        {late, false, {kWrong, kOk, kOk}},  // the refused at+fclass=2 takes the late OK
        {bare, true, {kOk, kOk, kOk}},
        {inText, true, {kOk, kOk, kOk}},
        {noise, true, {kWrong, kOk, kOk}},
        {hangUp, true, {kWrong, kWrong, kWrong}},
    };
    for (const auto& c : cases) {
        modemsim::ModemProfile profile = Accepting(true, c.fclass2, true);
        profile.faults["at+fclass=1"] = c.fault;
        DiagHarness harness(profile);
        EXPECT_EQ(c.events, harness.run(kAt).events);
    }
}
