// The virtual modem's AT parser and answer table, without a pseudo-terminal.
#include <gtest/gtest.h>

#include "ModemAnswers.h"

using modemsim::AnswerLine;
using modemsim::AtCommand;
using modemsim::ModemProfile;
using modemsim::ModemState;

namespace {

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

std::string Commands(const std::vector<AtCommand>& commands)
{
    std::string text;
    for (const AtCommand& command : commands) {
        text += "[" + command.name + "|" + command.arg + "]";
    }
    return text;
}

}  // namespace

TEST(AtParser, SplitsALineIntoItsCommands)
{
    const struct {
        const char* body;  // after "AT"
        bool parsed;
        const char* commands;
    } cases[] = {
        {"e0i3", true, "[E|0][I|3]"},
        {"&f0 e0", true, "[&F|0][E|0]"},
        {"+fclass=2.0", true, "[+FCLASS|=2.0]"},
        {"+fclass=1;+fclass=?", true, "[+FCLASS|=1][+FCLASS|=?]"},
        {"x4d;", true, "[X|4][D|;]"},
        {"dT555,1234;h", true, "[D|T555,1234;h]"},  // the dial string runs to the end and keeps its case
        {"\\n3%c1", true, "[\\N|3][%C|1]"},
        {"", true, ""},
        {"e0?", false, ""},
        {"&", false, ""},
        {"+=1", false, ""},
    };
    for (const auto& c : cases) {
        std::vector<AtCommand> commands;
        EXPECT_EQ(c.parsed, modemsim::ParseAtCommands(c.body, commands)) << c.body;
        if (c.parsed) {
            EXPECT_EQ(c.commands, Commands(commands)) << c.body;
        }
    }
}

TEST(AtParser, PatternsMatchWholeCommandsWithStars)
{
    const struct {
        const char* pattern;
        const char* command;
        bool matches;
    } cases[] = {
        {"E0", "E0", true},    {"E0", "E", false},    {"E", "E0", false},   {"D*;", "D;", true},
        {"D*;", "D555;", true}, {"D*;", "D555", false}, {"D*", "D555", true}, {"*", "", true},
        {"+FCLASS=2", "+FCLASS=2.0", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.matches, modemsim::PatternMatches(c.pattern, c.command)) << c.pattern << " " << c.command;
    }
}

// One line after another against the healthy table, then against tables
// with a row changed or added.
TEST(AnswerTable, AnswersEachLineFromTheFirstMatchingRow)
{
    ModemProfile refusing;
    refusing.answer("+FCLASS=2").result = "ERROR";
    ModemProfile extended;
    extended.answer("+GMM").info = "TSY70418";
    ModemProfile noTone;
    noTone.answer("D*;").result = "NO DIALTONE";
    noTone.answer("D*;").delayMs = 500;
    const ModemProfile healthy;

    const struct {
        const ModemProfile& profile;
        const char* line;
        std::string answer;
        int delayMs;
        bool echoAfter;
    } dialogue[] = {
        {healthy, "ATE0I3", "\r\nTessaly Parlance V.92 Version 3.5.22\r\n" + kOk, 0, false},
        {healthy, "at+fclass=1;+fclass=2.0", kOk, 0, false},
        {healthy, "atq9", kError, 0, false},        // no row: ERROR
        {healthy, "ate1q9e0", kError, 0, true},     // E1 ran before the error; E0 after it never runs
        {healthy, "hello", "", 0, true},            // no AT prefix: ignored
        {healthy, "ate0&t8", kOk, 0, false},        // self test until the next hang-up
        {healthy, "ath", "\r\n000\r\n" + kOk, 0, false},
        {healthy, "ath", kOk, 0, false},            // the count only once
        {healthy, "atd555", "\r\nNO CARRIER\r\n", 0, false},
        {refusing, "at+fclass=2;e1", kError, 0, false},  // a refused command ends the line
        {extended, "at+gmm", "\r\nTSY70418\r\n" + kOk, 0, false},
        {noTone, "atx4d;", "\r\nNO DIALTONE\r\n", 500, false},
        {healthy, "at&f0", kOk, 0, true},           // factory settings: echo on again
    };
    ModemState state;
    state.echo = false;
    for (const auto& step : dialogue) {
        SCOPED_TRACE(step.line);
        const modemsim::LineAnswer answer = AnswerLine(step.line, step.profile, state);
        EXPECT_EQ(step.answer, answer.text);
        EXPECT_EQ(step.delayMs, answer.delayMs);
        EXPECT_EQ(step.echoAfter, state.echo);
    }
}
