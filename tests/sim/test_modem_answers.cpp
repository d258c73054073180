// The virtual modem's AT parser and answer table, without a pseudo-terminal.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "ModemAnswers.h"

using modemsim::ModemProfile;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

// One line after another against the healthy table, then against tables
// with a row changed or added, and the no-dial-tone modem's. A parser or pattern fault shows as another
// answer: a command split wrongly or matched by a row it does not fit.
TEST(AnswerTable, AnswersEachLineFromTheFirstMatchingRow)
{
    ModemProfile refusing;
    refusing.answer("+FCLASS=2").result = "ERROR";
    ModemProfile extended;
    extended.answer("+GMM").info = "TSY70418";
    const std::unique_ptr<ModemProfile> noTone = ModemProfile::named("nodialtone");
    const ModemProfile healthy;

    // Profile, line, answer, its delay in ms, echo afterwards.
    const std::tuple<const ModemProfile&, const char*, std::string, int, bool> dialogue[] = {
        {healthy, "ATE0I3", "\r\nTessaly Parlance V.92 Version 3.5.22\r\n" + kOk, 0, false},
        {healthy, "at+fclass=1;+fclass=?", "\r\n0,1,2,2.0\r\n" + kOk, 0, false},
        {healthy, "at", kOk, 0, false},
        {healthy, "atq9", kError, 0, false},        // no row: ERROR
        {healthy, "ate1q9e0", kError, 0, true},     // E1 ran before the error (row E must not match E1)
        {healthy, "ate0?", kError, 0, true},        // a character that starts no command; E0 never runs
        {healthy, "at&", kError, 0, true},
        {healthy, "hello", "", 0, true},            // no AT prefix: ignored
        {healthy, "at&f0 e0&t8", kOk, 0, false},    // spaces skipped; self test until the next hang-up
        {healthy, "ath", "\r\n000\r\n" + kOk, 0, false},
        {healthy, "ath", kOk, 0, false},            // the count only once
        {healthy, "atd555", "\r\nNO CARRIER\r\n", 0, false},
        {healthy, "atdT555,1234;h", "\r\nNO CARRIER\r\n", 0, false},  // the dial string runs to the end
        {healthy, "atd;", kOk, 0, false},           // '*' also stands for nothing
        {refusing, "at+fclass=2.0", kOk, 0, false},  // the whole argument, matched whole
        {refusing, "at+fclass=2;e1", kError, 0, false},  // a refused command ends the line
        {extended, "at+gmm", "\r\nTSY70418\r\n" + kOk, 0, false},
        {*noTone, "atx4d555;", "\r\nNO DIALTONE\r\n", 3000, false},
        {healthy, "at&f0", kOk, 0, true},           // factory settings: echo on again
    };
    modemsim::ModemState state;
    state.echo = false;
    for (const auto& [profile, line, text, delayMs, echoAfter] : dialogue) {
        SCOPED_TRACE(line);
        const modemsim::LineAnswer answer = AnswerLine(line, profile, state);
        EXPECT_EQ(text, answer.text);
        EXPECT_EQ(delayMs, answer.delayMs);
        EXPECT_EQ(echoAfter, state.echo);
    }
}
