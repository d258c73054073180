// The AT command test: each fax class command acknowledged or counted wrong.
#include <gtest/gtest.h>

#include "DiagHarness.h"
#include "ModemDiagMsg.h"

using namespace diagtest;
using namespace QuarnDiags::ModemDiag;
using QuarnDiags::Diag::ERROR_EVENT;
using QuarnDiags::Diag::FAILED;
using QuarnDiags::Diag::INFORMATION_EVENT;
using QuarnDiags::Diag::PASSED;

namespace {

const int kAt = ModemDiagnostic::AT_COMMAND_TEST;

modemsim::ModemProfile Refusing(bool fclass1, bool fclass2, bool fclass20)
{
    modemsim::ModemProfile profile;
    profile.fclass1 = fclass1;
    profile.fclass2 = fclass2;
    profile.fclass20 = fclass20;
    return profile;
}

}  // namespace

TEST(AtCommandTest, AllCommandsAcknowledgedPassesWithTheWholeLog)
{
    DiagHarness harness;
    const Outcome outcome = harness.run(kAt);

    EXPECT_EQ(PASSED, outcome.verdict);
    EXPECT_EQ(TEST_COMPLETED_SUCCESSFULLY, outcome.code);
    EXPECT_EQ(INFORMATION_EVENT, outcome.type);
    EXPECT_EQ((std::vector<Uint>{CORRECT_AT_RESPONSE, CORRECT_AT_RESPONSE, CORRECT_AT_RESPONSE}), outcome.events);
    EXPECT_EQ(100u, outcome.progress);
    EXPECT_EQ((std::vector<std::string>{"at&f0", "ate0", "ati3", "at+fclass=1", "at+fclass=2", "at+fclass=2.0"}),
              harness.modem.commands());
    EXPECT_EQ(testsupport::readFile(std::string(DIAG_GOLDEN_DIR) + "/at_command_pass.log"), harness.log());
}

TEST(AtCommandTest, ARefusedCommandFailsTheTestAndTheOthersGoOn)
{
    DiagHarness harness(Refusing(true, true, false));
    const Outcome outcome = harness.run(kAt);

    EXPECT_EQ(FAILED, outcome.verdict);
    EXPECT_EQ(INCORRECT_AT_RESPONSE_ERROR, outcome.code);
    EXPECT_EQ(ERROR_EVENT, outcome.type);
    EXPECT_EQ((std::vector<Uint>{CORRECT_AT_RESPONSE, CORRECT_AT_RESPONSE, INCORRECT_AT_RESPONSE_ERROR}),
              outcome.events);
    EXPECT_EQ((std::vector<QuarnDiags::Diag::EventType>{INFORMATION_EVENT, INFORMATION_EVENT, ERROR_EVENT}),
              outcome.eventTypes);
    EXPECT_EQ(100u, outcome.progress);

    const auto lines = harness.logLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(std::string::npos,
              lines[lines.size() - 3].find("Incorrect AT Command response received for command at+fclass=2.0"));
    EXPECT_NE(std::string::npos, lines[lines.size() - 2].find("CheckATCommands() [" + harness.modem.slavePath() +
                                                              "] - Normal exit"));
}

TEST(AtCommandTest, HaltOnErrorStopsAtTheFirstRefusal)
{
    struct Case {
        modemsim::ModemProfile profile;
        std::vector<Uint> events;
        Uint progress;
        const char* notSent;
    };
    const Case cases[] = {
        {Refusing(false, true, true), {INCORRECT_AT_RESPONSE_ERROR, HALTED_ON_ERROR}, 0, "at+fclass=2"},
        {Refusing(true, false, true),
         {CORRECT_AT_RESPONSE, INCORRECT_AT_RESPONSE_ERROR, HALTED_ON_ERROR},
         33,
         "at+fclass=2.0"},
    };
    for (const Case& c : cases) {
        DiagHarness harness(c.profile);
        const Outcome outcome = harness.run(kAt, /*haltOnError=*/true);
        EXPECT_EQ(FAILED, outcome.verdict);
        EXPECT_EQ(INCORRECT_AT_RESPONSE_ERROR, outcome.code);
        EXPECT_EQ(c.events, outcome.events);
        EXPECT_EQ(c.progress, outcome.progress);
        EXPECT_FALSE(Sent(harness.modem, c.notSent));
        // A halt still leaves through the normal exit.
        EXPECT_NE(std::string::npos, harness.log().find("CheckATCommands() [<tty>] - Normal exit"));
        EXPECT_EQ(std::string::npos, harness.log().find("Aborting test"));
    }
}

TEST(AtCommandTest, ALateOkCountsForTheNextCommand)
{
    // The answer to at+fclass=1 comes after its second is over; the modem
    // refuses at+fclass=2, but that command's wait finds the late "OK".
    modemsim::ModemProfile profile = Refusing(true, false, true);
    profile.faults["at+fclass=1"].delayMs = 1300;
    DiagHarness harness(profile);
    const Outcome outcome = harness.run(kAt);

    EXPECT_EQ((std::vector<Uint>{INCORRECT_AT_RESPONSE_ERROR, CORRECT_AT_RESPONSE, CORRECT_AT_RESPONSE}),
              outcome.events);
    EXPECT_EQ(FAILED, outcome.verdict);
}

TEST(AtCommandTest, MalformedAnswers)
{
    struct Case {
        const char* what;
        modemsim::CommandFault fault;
        Uint firstEvent;
    };
    modemsim::CommandFault bare;
    bare.noLineEnds = true;
    modemsim::CommandFault garbage;
    garbage.garbage = "\x7f\xff O K \r\nOKAY";  // "OKAY" still holds "OK"
    modemsim::CommandFault noise;
    noise.garbage = "\x01\x02O\xffK\r\n";
    const Case cases[] = {
        {"OK without line ends", bare, CORRECT_AT_RESPONSE},
        {"OK inside other text", garbage, CORRECT_AT_RESPONSE},
        {"binary noise", noise, INCORRECT_AT_RESPONSE_ERROR},
    };
    for (const Case& c : cases) {
        modemsim::ModemProfile profile;
        profile.faults["at+fclass=1"] = c.fault;
        DiagHarness harness(profile);
        const Outcome outcome = harness.run(kAt);
        ASSERT_EQ(3u, outcome.events.size()) << c.what;
        EXPECT_EQ(c.firstEvent, outcome.events[0]) << c.what;
        EXPECT_EQ(CORRECT_AT_RESPONSE, outcome.events[1]) << c.what;
    }
}

TEST(AtCommandTest, ALineThatHangsUpFailsWithABoundedLog)
{
    modemsim::ModemProfile profile;
    profile.faults["at+fclass=2"].hangUp = true;
    DiagHarness harness(profile);
    const Outcome outcome = harness.run(kAt);

    EXPECT_EQ(FAILED, outcome.verdict);
    EXPECT_EQ((std::vector<Uint>{CORRECT_AT_RESPONSE, INCORRECT_AT_RESPONSE_ERROR, INCORRECT_AT_RESPONSE_ERROR}),
              outcome.events);
    // Two one-second waits on a dead line: paced, not one line per spin.
    EXPECT_LT(harness.logLines().size(), 150u);
    EXPECT_NE(std::string::npos, harness.log().find("CheckATCommands() [<tty>] - Normal exit"));
}
