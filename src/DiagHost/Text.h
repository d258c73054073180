// Text.h - text for a terminal and the reports: well-formed UTF-8 recognised and rewritten, control characters
// made visible, widths, shortening and wrapping.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace diaghost {

// Length (1 to 4) of the well-formed UTF-8 character at text[at], with its
// code point, or 0 when the bytes there are not one: a stray or cut
// sequence, an overlong form, a surrogate or a code point beyond U+10FFFF.
inline std::size_t utf8Length(const std::string& text, std::size_t at, unsigned long& codePoint)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    // 80..C1 and F5..FF lead no character.
    const std::size_t length =
        lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    unsigned long value = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0u) != 0x80u) {
            return 0;
        }
        value = (value << 6) | (byte(at + i) & 0x3Fu);
    }
    static const unsigned long kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kShortest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    codePoint = value;
    return length;
}

// The text rewritten one character at a time: shown(codePoint, bytes) is
// what a well-formed character becomes, broken(byte) what a byte that is
// part of none becomes. The escapes of the terminal, XML and metrics texts.
template <typename Shown, typename Broken>
std::string rewriteUtf8(const std::string& text, Shown shown, Broken broken)
{
    std::string rewritten;
    rewritten.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        unsigned long codePoint = 0;
        const std::size_t length = utf8Length(text, at, codePoint);
        if (length == 0) {
            rewritten += broken(static_cast<unsigned char>(text[at++]));
        } else {
            rewritten += shown(codePoint, text.substr(at, length));
            at += length;
        }
    }
    return rewritten;
}

// The text with every control character written as a visible escape ("\n",
// "\r", "\t", others as "\x1b"), and bytes that are not UTF-8 (or are the
// C1 controls U+0080..U+009F) as "\xNN". Texts from the plug-in and the
// modem pass through this before they reach a terminal, so that a modem
// cannot move the cursor, retitle the window or start a line of its own.
std::string printable(const std::string& text);

inline std::string orDash(const std::string& text)
{
    return text.empty() ? std::string("-") : text;
}

// Columns the text takes: one per UTF-8 character, nothing for the colour
// sequences ("\033[...m") diaghost adds itself.
std::size_t displayWidth(const std::string& text);

std::string pad(const std::string& text, std::size_t width);  // blanks up to width columns

// The text (without colour sequences) cut to at most width columns (0: no
// limit), ending in "…" where the locale speaks UTF-8, "..." elsewhere.
std::string fitWidth(const std::string& text, std::size_t width);

// The text broken at blanks into lines of at most width columns (0: one
// line), later lines indented. A word longer than a line is cut, or with
// breakWords false kept whole on a line of its own, wider than width: a
// code or a path that is copied from the terminal must come out whole.
// Colour sequences take no column and must not span a blank.
std::vector<std::string> wrapWords(const std::string& text, std::size_t width, std::size_t indent,
                                   bool breakWords = true);

}  // namespace diaghost
