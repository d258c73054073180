// Utf8.h - well-formed UTF-8 recognised and rewritten, for the terminal text and the report writers.
#pragma once

#include <cstddef>
#include <string>

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

}  // namespace diaghost
