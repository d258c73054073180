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

TEST(AtCommandTest, AllAcknowledgedPassesWithTheWholeLog)
{
    DiagHarness harness;
    const Outcome outcome = harness.run(kAt);
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
        EXPECT_NE(std::string::npos, harness.log().find("CheckATCommands() [<tty>] - Normal exit\n"));
        EXPECT_EQ(std::string::npos, harness.log().find("Aborting test"));
    }
}

TEST(AtCommandTest, ALateOkCountsForTheNextCommand)
{
    // at+fclass=1 is answered after its wait; the refused at+fclass=2 then
    // finds that late "OK" in the port.
    modemsim::ModemProfile profile = Accepting(true, false, true);
    profile.faults["at+fclass=1"].delayMs = 1300;
    DiagHarness harness(profile);
    EXPECT_EQ((Codes{kWrong, kOk, kOk}), harness.run(kAt).events);
}

TEST(AtCommandTest, MalformedAnswersAndAHangUp)
{
    struct Case {
        modemsim::CommandFault fault;
        Codes events;
    };
    modemsim::CommandFault bare, inText, noise, hangUp;
    bare.noLineEnds = true;
    inText.garbage = "\x7f\xff O K \r\nOKAY";
    noise.garbage = "\x01\x02O\xffK\r\n";
    hangUp.hangUp = true;
    const Case cases[] = {
        {bare, {kOk, kOk, kOk}},
        {inText, {kOk, kOk, kOk}},
        {noise, {kWrong, kOk, kOk}},
        {hangUp, {kWrong, kWrong, kWrong}},
    };
    for (const Case& c : cases) {
        modemsim::ModemProfile profile;
        profile.faults["at+fclass=1"] = c.fault;
        DiagHarness harness(profile);
        EXPECT_EQ(c.events, harness.run(kAt).events);
        // A dead line is read at a paced rate: the log stays short.
        EXPECT_LT(testsupport::readLines(harness.dir.file("TSYmodemDiagnostic.log")).size(), 250u);
    }
}
