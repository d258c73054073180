// fuzz_text.cpp - diaghost's terminal text functions over arbitrary bytes.
//
// Any bytes the plug-in or a modem hand over go through printable(); what
// comes out must be well-formed UTF-8 without a control character, and a
// text that already was so must come out unchanged. fitWidth() and
// wrapWords() then must keep to the width asked for (counted here, one
// column per character), keep the characters whole, and wrapWords() must
// lose no character but blanks. Words wrapped may carry diaghost's own
// colour sequences, which must reach the lines whole.
#include <cstdint>
#include <string>
#include <vector>

#include "HostFuzz.h"
#include "Text.h"

using fuzz::Expect;

namespace {

// Length of the colour sequence "\033[<digits;>m" at text[at], or 0.
std::size_t Colour(const std::string& text, std::size_t at)
{
    if (text.compare(at, 2, "\033[") != 0) {
        return 0;
    }
    for (std::size_t i = at + 2; i < text.size(); ++i) {
        if (text[i] == 'm') {
            return i - at + 1;
        }
        if (!(text[i] >= '0' && text[i] <= '9') && text[i] != ';') {
            return 0;
        }
    }
    return 0;
}

// Whether a text is well-formed UTF-8 without control characters, colour
// sequences aside when allowed; *columns gets its characters.
bool Clean(const std::string& text, bool colours, std::size_t* columns = nullptr)
{
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (colours && Colour(text, at) != 0) {
            at += Colour(text, at);
            continue;
        }
        unsigned long value = 0;
        const std::size_t length = hostfuzz::Utf8At(text, at, &value);
        if (length == 0 || value < 0x20 || value == 0x7F || (value >= 0x80 && value <= 0x9F)) {
            return false;
        }
        ++count;
        at += length;
    }
    if (columns != nullptr) {
        *columns = count;
    }
    return true;
}

// Columns of a text that must be clean.
std::size_t Columns(const std::string& text, bool colours)
{
    std::size_t columns = 0;
    Expect(Clean(text, colours, &columns));
    return columns;
}

// The characters of a text but its blanks and colour sequences.
std::string Ink(const std::string& text)
{
    std::string ink;
    for (std::size_t at = 0; at < text.size();) {
        if (const std::size_t colour = Colour(text, at)) {
            at += colour;
        } else {
            ink += text[at] == ' ' ? "" : text.substr(at, 1);
            ++at;
        }
    }
    return ink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::size_t width = input.ConsumeIntegralInRange<std::size_t>(0, 100);
    const std::size_t indent = input.ConsumeIntegralInRange<std::size_t>(0, 40);
    const bool colours = input.ConsumeBool();
    const std::string raw = input.ConsumeRemainingBytesAsString();

    const std::string shown = diaghost::printable(raw);
    const std::size_t columns = Columns(shown, false);
    Expect(diaghost::displayWidth(shown) == columns);
    Expect(!Clean(raw, false) || shown == raw);

    const std::string fitted = diaghost::fitWidth(shown, width);
    Expect(width == 0 || Columns(fitted, false) <= width);
    Expect(columns > width && width != 0 ? fitted != shown : fitted == shown);

    // Colour sequences, when asked for, around every other word.
    std::string text;
    if (colours) {
        bool inWord = false;
        bool painted = false;
        for (const char c : shown) {
            if (c != ' ' && !inWord) {
                painted = !painted;
                text += painted ? "\033[1;31m" : "";
            } else if (c == ' ' && inWord && painted) {
                text += "\033[0m";
            }
            inWord = c != ' ';
            text += c;
        }
        text += inWord && painted ? "\033[0m" : "";
    } else {
        text = shown;
    }
    std::string ink;
    for (const std::string& line : diaghost::wrapWords(text, width, indent)) {
        Expect(width == 0 || Columns(line, true) <= width);
        Expect(Columns(line, true) == diaghost::displayWidth(line));
        ink += Ink(line);
    }
    // Nothing lost, unless the text is all blanks (cut like any other).
    Expect(Ink(text).empty() || ink == Ink(text));
    return 0;
}
