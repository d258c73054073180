// PluginLog.h - the plug-in's diagnostic log, read while tests run: the running test's lines, and what they say.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "LogTail.h"

namespace diaghost {

// The diagnostic log holds three kinds of lines (their forms are the
// plug-in's, in PluginContract.h): a test's own line, naming its tty; an
// error line (a port that went away, a write the modem's tty refused); and
// anything else (the serial layer's lines, the message functions'), which
// names no tty.
struct PluginLogLine {
    // A test's line as "<function>: <text>" (the test and its tty are
    // shown above it), any other line whole.
    std::string text;
    bool error = false;
};

PluginLogLine readLogLine(const std::string& line);

// Follows the diagnostic log from its size at construction on and hands
// each test its own lines. Another program may log to the same file, so a
// line waits for the modem it names (one that names none goes with the
// modem under test); the next test's lines, from its run's opening line on,
// wait for that test, which may start before this one is shown to end.
class PluginLog {
public:
    explicit PluginLog(const std::string& path) : m_tail(path) {}

    void testStarted(const std::string& tty);
    // The running test's lines since the last call, without blank ones; at
    // its end, a last line still without its line end too.
    std::vector<PluginLogLine> take(bool testEnded = false);

private:
    LogTail m_tail;
    std::string m_tty;
    std::map<std::string, std::deque<std::string>> m_waiting;  // read, not yet taken, by tty
    int m_taken = 0;  // lines naming its tty taken for the running test
};

}  // namespace diaghost
