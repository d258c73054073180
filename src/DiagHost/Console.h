// Console.h - one output stream: terminal detection, colour and a redrawn live line.
#pragma once

#include <cstdio>
#include <string>

namespace diaghost {

enum class Colour { Plain, Green, Yellow, Red, Cyan, Bold, Dim };

// --color: "always" colours even into a pipe or a file, "never" never,
// "auto" (the default, and any other text) a terminal unless NO_COLOR is
// set to a non-empty value. Chosen once, before the first Console is made.
void chooseColour(const std::string& when);

// Everything diaghost prints goes through one Console per stream, from the
// main thread. On a terminal the last line may be a live line (the progress
// bar), redrawn in place, with other lines printed above it. Each line fits
// the terminal's width at the time, so a resized window is followed.
class Console {
public:
    explicit Console(std::FILE* stream);
    ~Console() { restore(); }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    std::FILE* stream() const { return m_stream; }
    bool isTerminal() const { return m_terminal; }  // one that can redraw a line (not TERM=dumb)
    std::size_t width() const;  // of the terminal now; 0 for another stream (no limit)

    std::string paint(const std::string& text, Colour colour) const;

    // Prints text above the live line; on a terminal wrapped at blanks, later
    // lines indented two columns more than the first. Words are never broken:
    // one wider than the terminal (a long path) keeps a line of its own.
    void line(const std::string& text = std::string());
    // Draws the live line on a terminal (not for another stream), cut to
    // liveWidth() so that it never wraps and each redraw replaces it whole.
    void live(const std::string& text);
    std::size_t liveWidth() const;
    // Erases the live line; the next line() starts where it was.
    void endLive();

    // Puts the terminal back as it was (cursor shown, live line erased).
    void restore();

private:
    std::FILE* m_stream;
    bool m_terminal = false;
    bool m_colour = false;  // as chooseColour() says
    bool m_liveShown = false;
    bool m_cursorHidden = false;
    std::string m_live;
};

}  // namespace diaghost
