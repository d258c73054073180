// ModemAnswers.cpp - parses an AT command line and answers it from the profile's table.
#include "ModemAnswers.h"

#include <cctype>

namespace modemsim {

namespace {

char Upper(char c)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool IsAlpha(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string UpperCopy(const std::string& text)
{
    std::string upper(text);
    for (char& c : upper) {
        c = Upper(c);
    }
    return upper;
}

// Applies what a command does to the modem besides answering.
void Apply(Effect effect, ModemState& state)
{
    switch (effect) {
    case Effect::None:
        break;
    case Effect::EchoOff:
        state.echo = false;
        break;
    case Effect::EchoOn:
        state.echo = true;
        break;
    case Effect::Reset:
        state.echo = true;
        state.selfTest = false;
        break;
    case Effect::StartSelfTest:
        state.selfTest = true;
        break;
    case Effect::EndSelfTest:
        state.selfTest = false;
        break;
    }
}

// The first row that answers a command in the modem's present state.
const AnswerRow* FindRow(const std::vector<AnswerRow>& answers, const std::string& command, const ModemState& state)
{
    for (const AnswerRow& row : answers) {
        if ((row.when == When::Always || state.selfTest) && PatternMatches(row.pattern, command)) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

std::string Framed(const std::string& text)
{
    return "\r\n" + text + "\r\n";
}

bool ParseAtCommands(const std::string& body, std::vector<AtCommand>& commands)
{
    commands.clear();
    std::size_t i = 0;
    const std::size_t n = body.size();
    while (i < n) {
        const char c = Upper(body[i]);
        if (c == ' ') {
            ++i;
            continue;
        }
        AtCommand command;
        if (c == 'D') {
            // The dial string runs to the end of the line.
            command.name = "D";
            command.arg = body.substr(i + 1);
            commands.push_back(command);
            return true;
        }
        if (c == '+') {
            // Extended command: +NAME then its parameter up to ';'.
            std::size_t j = i + 1;
            while (j < n && IsAlpha(body[j])) {
                ++j;
            }
            if (j == i + 1) {
                return false;
            }
            command.name = UpperCopy(body.substr(i, j - i));
            const std::size_t end = body.find(';', j);
            command.arg = UpperCopy(body.substr(j, end == std::string::npos ? std::string::npos : end - j));
            i = end == std::string::npos ? n : end + 1;
        } else if (c == '&' || c == '\\' || c == '%') {
            if (i + 1 >= n || !IsAlpha(body[i + 1])) {
                return false;
            }
            command.name = std::string(1, c) + Upper(body[i + 1]);
            i += 2;
        } else if (IsAlpha(c)) {
            command.name = std::string(1, c);
            i += 1;
        } else {
            return false;
        }
        if (command.name[0] != '+') {
            while (i < n && IsDigit(body[i])) {
                command.arg += body[i++];
            }
        }
        commands.push_back(command);
    }
    return true;
}

bool PatternMatches(const std::string& pattern, const std::string& text)
{
    // Backtracking over the last '*' suffices for patterns of this kind.
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

LineAnswer AnswerLine(const std::string& line, const ModemProfile& profile, ModemState& state)
{
    LineAnswer answer;
    std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || start + 1 >= line.size() || Upper(line[start]) != 'A' ||
        Upper(line[start + 1]) != 'T') {
        return answer;
    }

    std::vector<AtCommand> commands;
    if (!ParseAtCommands(line.substr(start + 2), commands)) {
        answer.text = Framed("ERROR");
        return answer;
    }
    // Commands run in order; the first one whose result is not OK ends the
    // line with that result, after the information its predecessors gave.
    std::string result = "OK";
    for (const AtCommand& command : commands) {
        const AnswerRow* row = FindRow(profile.answers, command.name + command.arg, state);
        if (row == nullptr) {
            result = "ERROR";
            break;
        }
        if (row->result != "ERROR") {
            Apply(row->effect, state);
        }
        if (!row->info.empty()) {
            answer.text += Framed(row->info);
        }
        answer.delayMs += row->delayMs;
        if (row->result != "OK") {
            result = row->result;
            break;
        }
    }
    if (!result.empty()) {
        answer.text += Framed(result);
    }
    return answer;
}

const CommandFault* ModemProfile::faultFor(const std::string& line) const
{
    std::string key;
    for (char c : line) {
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::size_t first = key.find_first_not_of(' ');
    const std::size_t last = key.find_last_not_of(' ');
    key = first == std::string::npos ? std::string() : key.substr(first, last - first + 1);

    auto found = faults.find(key);
    if (found == faults.end()) {
        found = faults.find("*");
    }
    return found == faults.end() ? nullptr : &found->second;
}

}  // namespace modemsim
