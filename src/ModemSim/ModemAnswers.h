// ModemAnswers.h - AT command line parsing and the answer table's interpreter, without any I/O.
#pragma once

#include <string>
#include <vector>

#include "VirtualModem.h"

namespace modemsim {

// One command of a command line, upper case: "E" "0", "&F" "0",
// "+FCLASS" "=2.0", "D" ";" (the dial string keeps its case).
struct AtCommand {
    std::string name;
    std::string arg;
};

// Splits the text after the "AT" prefix into its commands. False on a
// character that starts no command.
bool ParseAtCommands(const std::string& body, std::vector<AtCommand>& commands);

// What outlives one command line.
struct ModemState {
    bool echo = true;       // command lines are echoed back
    bool selfTest = false;  // &T8 running until the next H
};

// The modem's answer to one line: framed information lines and the final
// result code, sent once the commands have taken delayMs.
struct LineAnswer {
    std::string text;
    int delayMs = 0;
};

// Whether a command ("E0", "D555;") matches a row's pattern, where '*'
// stands for any run of characters.
bool PatternMatches(const std::string& pattern, const std::string& text);

// Runs one command line (without its CR) against the profile's answer
// table and the state. A line that does not begin with "AT" (any case) is
// ignored: empty answer.
LineAnswer AnswerLine(const std::string& line, const ModemProfile& profile, ModemState& state);

// "\r\nERROR\r\n" and friends: a verbose result code or information line.
std::string Framed(const std::string& text);

}  // namespace modemsim
