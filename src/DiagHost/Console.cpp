// Console.cpp - terminal detection, ANSI colours and the redrawn live line.
#include "Console.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

#include "OutputFiles.h"
#include "Text.h"

namespace diaghost {

const char* const kEraseLine = "\r\033[2K";
const char* const kHideCursor = "\033[?25l";
const char* const kShowCursor = "\033[?25h";
// Columns the live line leaves free at the right: the terminal echoes a
// Ctrl-C as "^C" after it, and the line must not wrap then either, or its
// erasing would leave the first row behind.
constexpr std::size_t kLiveMargin = 3;

namespace {

enum class ColourWhen { Auto, Always, Never };
ColourWhen g_colourWhen = ColourWhen::Auto;

}  // namespace

void chooseColour(const std::string& when)
{
    g_colourWhen = when == "always" ? ColourWhen::Always : when == "never" ? ColourWhen::Never : ColourWhen::Auto;
}

Console::Console(std::FILE* stream) : m_stream(stream)
{
    const char* term = std::getenv("TERM");
    const char* noColour = std::getenv("NO_COLOR");
    m_terminal = isatty(fileno(stream)) == 1 && (term == nullptr || std::strcmp(term, "dumb") != 0);
    switch (g_colourWhen) {
    case ColourWhen::Always: m_colour = true; break;
    case ColourWhen::Never: m_colour = false; break;
    case ColourWhen::Auto: m_colour = m_terminal && (noColour == nullptr || noColour[0] == '\0'); break;
    }
}

std::size_t Console::width() const
{
    if (!m_terminal) {
        return 0;
    }
    struct winsize size {};
    if (ioctl(fileno(m_stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
        return 80;  // a terminal that does not say: the classic width
    }
    return size.ws_col;
}

std::size_t Console::liveWidth() const
{
    const std::size_t columns = width();
    return columns > kLiveMargin ? columns - kLiveMargin : columns;
}

std::string Console::paint(const std::string& text, Colour colour) const
{
    if (!m_colour || colour == Colour::Plain) {
        return text;
    }
    static const char* const kCodes[] = {"", "32", "33", "31", "36", "1", "2"};  // SGR codes, in Colour's order
    const char* code = kCodes[static_cast<int>(colour)];
    return std::string("\033[") + code + "m" + text + "\033[0m";
}

void Console::line(const std::string& text)
{
    if (m_liveShown) {
        std::fputs(kEraseLine, m_stream);
    }
    const std::size_t columns = width();
    // Each line of a text of several is wrapped on its own.
    for (std::size_t from = 0, end = 0; from <= text.size(); from = end + 1) {
        end = std::min(text.find('\n', from), text.size());
        const std::string one = text.substr(from, end - from);
        const std::string::size_type indent = one.find_first_not_of(' ');
        for (const std::string& part : wrapWords(one, columns, (indent == std::string::npos ? 0 : indent) + 2, false)) {
            std::fputs(part.c_str(), m_stream);
            std::fputc('\n', m_stream);
        }
    }
    if (m_liveShown) {
        std::fputs(m_live.c_str(), m_stream);
    }
    flushOutput(m_stream);
}

void Console::live(const std::string& text)
{
    if (!m_cursorHidden) {
        std::fputs(kHideCursor, m_stream);
        m_cursorHidden = true;
    }
    m_live = fitWidth(text, liveWidth());
    m_liveShown = true;
    std::fputs(kEraseLine, m_stream);
    std::fputs(m_live.c_str(), m_stream);
    flushOutput(m_stream);
}

void Console::endLive()
{
    if (m_liveShown) {
        std::fputs(kEraseLine, m_stream);
        m_liveShown = false;
        m_live.clear();
    }
    flushOutput(m_stream);
}

void Console::restore()
{
    endLive();
    if (m_cursorHidden) {
        std::fputs(kShowCursor, m_stream);
        m_cursorHidden = false;
    }
    flushOutput(m_stream);
}

}  // namespace diaghost
