// ModemAnswers.cpp - the virtual modem's AT command set: parse a line, run it, frame the answer.
#include "ModemAnswers.h"

#include <cctype>
#include <cstdio>

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

// Outcome of one command inside a line.
enum class Step { kOk, kError, kFinal };

struct LineRun {
    std::string info;    // information lines so far, framed
    std::string resultCode;  // when a command ends the line itself
    int delayMs = 0;
};

void ResetToFactory(ModemState& state)
{
    state.echo = true;
    state.selfTest = false;
}

std::string LoopbackCountLine(const ModemProfile& profile)
{
    if (profile.loopbackCountLine) {
        return *profile.loopbackCountLine;
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", profile.loopbackErrors);
    return digits;
}

bool NoArgOrZero(const std::string& arg)
{
    return arg.empty() || arg == "0";
}

Step RunFaxClass(const std::string& arg, const ModemProfile& profile, LineRun& run)
{
    if (arg == "=0") {
        return Step::kOk;
    }
    if (arg == "=1") {
        return profile.fclass1 ? Step::kOk : Step::kError;
    }
    if (arg == "=2") {
        return profile.fclass2 ? Step::kOk : Step::kError;
    }
    if (arg == "=2.0") {
        return profile.fclass20 ? Step::kOk : Step::kError;
    }
    if (arg == "=?") {
        std::string classes = "0";
        classes += profile.fclass1 ? ",1" : "";
        classes += profile.fclass2 ? ",2" : "";
        classes += profile.fclass20 ? ",2.0" : "";
        run.info += Framed(classes);
        return Step::kOk;
    }
    return Step::kError;
}

// The dial modifier ';' returns to command state after dialling; without it
// the modem would wait for a far end that never answers.
Step RunDial(const std::string& dialString, const ModemProfile& profile, LineRun& run)
{
    if (!profile.dialTone) {
        run.delayMs += profile.noDialToneDelayMs;
        run.resultCode = "NO DIALTONE";
        return Step::kFinal;
    }
    if (!dialString.empty() && dialString.back() == ';') {
        return Step::kOk;
    }
    run.resultCode = "NO CARRIER";
    return Step::kFinal;
}

Step RunCommand(const AtCommand& command, const ModemProfile& profile, ModemState& state, LineRun& run)
{
    const std::string& name = command.name;
    const std::string& arg = command.arg;
    if (name == "E" && (NoArgOrZero(arg) || arg == "1")) {
        state.echo = arg == "1";
        return Step::kOk;
    }
    if ((name == "&F" || name == "Z") && NoArgOrZero(arg)) {
        ResetToFactory(state);
        return Step::kOk;
    }
    if (name == "H" && NoArgOrZero(arg)) {
        if (state.selfTest) {
            state.selfTest = false;
            if (profile.loopbackCountSent) {
                run.info += Framed(LoopbackCountLine(profile));
            }
        }
        return Step::kOk;
    }
    if (name == "I" && NoArgOrZero(arg)) {
        run.info += Framed("56000");
        return Step::kOk;
    }
    if (name == "I" && arg == "3") {
        run.info += Framed(profile.identification);
        return Step::kOk;
    }
    if (name == "X" && arg.size() <= 1 && (arg.empty() || (arg[0] >= '0' && arg[0] <= '4'))) {
        return Step::kOk;
    }
    if (name == "&T" && (NoArgOrZero(arg) || arg == "8")) {
        state.selfTest = arg == "8";
        return Step::kOk;
    }
    if (name == "+FCLASS") {
        return RunFaxClass(arg, profile, run);
    }
    if (name == "D") {
        return RunDial(arg, profile, run);
    }
    return Step::kError;
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
    // Commands run in order; the first one that fails ends the line with
    // ERROR, after the information its predecessors produced.
    LineRun run;
    std::string result = "OK";
    for (const AtCommand& command : commands) {
        const Step step = RunCommand(command, profile, state, run);
        if (step == Step::kError) {
            result = "ERROR";
            break;
        }
        if (step == Step::kFinal) {
            result = run.resultCode;
            break;
        }
    }
    answer.text = run.info + Framed(result);
    answer.delayMs = run.delayMs;
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
