// Console.h - one output stream: terminal detection, colour and a redrawn live line.
#pragma once

#include <cstdio>
#include <string>

namespace diaghost {

enum class Colour { Plain, Green, Yellow, Red, Bold, Dim };

// Everything diaghost prints goes through one Console per stream, from the
// main thread only. On a terminal the last line may be a live line (the
// progress bar) that is redrawn in place; other lines are printed above it.
class Console {
public:
    // stream is stdout or stderr.
    explicit Console(std::FILE* stream);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // A terminal that can redraw a line (not TERM=dumb).
    bool isTerminal() const { return m_terminal; }
    // Colour on a terminal unless NO_COLOR is set to a non-empty value.
    bool hasColour() const { return m_colour; }

    std::string paint(const std::string& text, Colour colour) const;

    // Prints text and a line end above the live line.
    void line(const std::string& text = std::string());
    // Draws or redraws the live line (terminal only; ignored otherwise).
    void live(const std::string& text);
    // Erases the live line; the next line() starts where it was.
    void endLive();

    // Puts the terminal back as it was (cursor shown, live line erased).
    void restore();

private:
    std::FILE* m_stream;
    bool m_terminal = false;
    bool m_colour = false;
    bool m_liveShown = false;
    bool m_cursorHidden = false;
    std::string m_live;
};

// Text padded with blanks to width (counting bytes; our texts are ASCII).
std::string pad(const std::string& text, std::size_t width);

}  // namespace diaghost
