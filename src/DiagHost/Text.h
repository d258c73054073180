// Text.h - text for a terminal: control characters made visible, widths, shortening and wrapping.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace diaghost {

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
// line), later lines indented; a word longer than a line is cut. Colour
// sequences take no column and must not span a blank.
std::vector<std::string> wrapWords(const std::string& text, std::size_t width, std::size_t indent);

}  // namespace diaghost
