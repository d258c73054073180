// Text.cpp - escaping, measuring, shortening and wrapping of terminal text.
#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>


namespace diaghost {

namespace {

// Length of a colour sequence "\033[<digits;>m" at text[at], 0 when there is none.
std::size_t colourSequence(const std::string& text, std::size_t at)
{
    if (text[at] != '\033' || at + 1 >= text.size() || text[at + 1] != '[') {
        return 0;
    }
    for (std::size_t i = at + 2; i < text.size(); ++i) {
        if (text[i] == 'm') {
            return i - at + 1;
        }
        if ((text[i] < '0' || text[i] > '9') && text[i] != ';') {
            return 0;
        }
    }
    return 0;
}

// The bytes of text that take at most columns; taken is the columns they
// take. A colour sequence takes no column and is never cut: a part of one
// would show as text.
std::size_t bytesWithin(const std::string& text, std::size_t columns, std::size_t& taken)
{
    std::size_t at = 0;
    for (taken = 0; at < text.size(); ++at) {
        if (const std::size_t colour = colourSequence(text, at)) {
            at += colour - 1;
        } else if ((static_cast<unsigned char>(text[at]) & 0xC0u) != 0x80u) {
            if (taken == columns) {
                break;
            }
            ++taken;
        }
    }
    return at;
}

std::string hexEscape(unsigned char byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", byte);
    return text;
}

bool localeIsUtf8()
{
    // The first of these that is set decides, as for the C library.
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return std::strstr(value, "UTF-8") != nullptr || std::strstr(value, "utf8") != nullptr ||
                   std::strstr(value, "UTF8") != nullptr || std::strstr(value, "utf-8") != nullptr;
        }
    }
    return false;
}

}  // namespace

std::string printable(const std::string& text)
{
    return rewriteUtf8(
        text,
        [](unsigned long codePoint, const std::string& bytes) {
            switch (codePoint) {
            case '\n': return std::string("\\n");
            case '\r': return std::string("\\r");
            case '\t': return std::string("\\t");
            }
            if (codePoint >= 0x20 && codePoint != 0x7F && (codePoint < 0x80 || codePoint > 0x9F)) {
                return bytes;
            }
            // Other controls, the C1 ones (CSI among them) too, as the bytes they came as.
            std::string escaped;
            for (const char byte : bytes) {
                escaped += hexEscape(static_cast<unsigned char>(byte));
            }
            return escaped;
        },
        hexEscape);
}

std::size_t displayWidth(const std::string& text)
{
    std::size_t width = 0;
    bytesWithin(text, std::string::npos, width);
    return width;
}

std::string pad(const std::string& text, std::size_t width)
{
    const std::size_t columns = displayWidth(text);
    return columns >= width ? text : text + std::string(width - columns, ' ');
}

std::string fitWidth(const std::string& text, std::size_t width)
{
    if (width == 0 || displayWidth(text) <= width) {
        return text;
    }
    static const std::string mark = localeIsUtf8() ? "\u2026" : "...";
    const std::size_t markWidth = displayWidth(mark);
    if (width <= markWidth) {
        return mark.size() == width ? mark : std::string(width, '.');
    }
    std::size_t taken = 0;
    return text.substr(0, bytesWithin(text, width - markWidth, taken)) + mark;
}

std::vector<std::string> wrapWords(const std::string& text, std::size_t width, std::size_t indent, bool breakWords)
{
    if (width == 0 || displayWidth(text) <= width) {
        return {text};
    }
    if (indent + 8 > width) {
        indent = 0;  // too narrow to indent: use the whole line
    }
    // The text's own leading blanks stay on the first line, as many as
    // leave a column for the text.
    std::size_t at = text.find_first_not_of(' ');
    if (at == std::string::npos) {
        return {fitWidth(text, width)};
    }
    std::vector<std::string> lines;
    std::string line(std::min(at, width - 1), ' ');
    for (std::size_t start; (start = text.find_first_not_of(' ', at)) != std::string::npos;) {
        // The blanks before a word (none before the first) are kept as they
        // are, so that aligned columns stay aligned on the line they are on.
        const std::string gap = text.substr(at, start - at);
        at = std::min(text.find(' ', start), text.size());
        std::string word = text.substr(start, at - start);
        const std::size_t lineWidth = displayWidth(line);
        const std::size_t wordWidth = displayWidth(word);
        // A word that does not fit goes to the next line if it fits whole
        // there or nothing of it fits here; else it is split where it stands.
        if (!gap.empty() && lineWidth + gap.size() + wordWidth > width &&
            (indent + wordWidth <= width || lineWidth + gap.size() >= width || !breakWords)) {
            lines.push_back(line);
            line.assign(indent, ' ');
        } else {
            line += gap;
        }
        std::size_t cut = 0;
        std::size_t taken = 0;
        while (breakWords && (cut = bytesWithin(word, width - displayWidth(line), taken)) < word.size()) {
            lines.push_back(line + word.substr(0, cut));
            line.assign(indent, ' ');
            word.erase(0, cut);
        }
        line += word;
    }
    lines.push_back(line);
    return lines;
}

}  // namespace diaghost
