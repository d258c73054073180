// PluginLog.cpp - sorts the plug-in's log lines by test and shortens them for the screen.
#include "PluginLog.h"

#include "PluginContract.h"

namespace diaghost {

namespace {

using modemdiag::kErrorLinePrefix;
using modemdiag::kTestLinePrefix;
using modemdiag::kTestLineText;
using modemdiag::kTestLineTty;
using modemdiag::kTestLineTtyEnd;

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// "ModemDiag::<test>::run() [<tty>]" and nothing after it.
bool isRunOpening(const std::string& line)
{
    const std::string::size_type call = line.find(std::string("::") + modemdiag::kTestRunFunction + kTestLineTty);
    return startsWith(line, kTestLinePrefix) && call != std::string::npos &&
           line.find(kTestLineTtyEnd, call) == line.size() - 1;
}

// The tty a line names ("/dev/ttySM1"), "" for a line that names none.
std::string ttyOfLogLine(const std::string& line)
{
    const std::string::size_type open = line.find("[/dev/");
    const std::string::size_type close = open == std::string::npos ? open : line.find(kTestLineTtyEnd, open);
    return close == std::string::npos ? std::string() : line.substr(open + 1, close - open - 1);
}

}  // namespace

PluginLogLine readLogLine(const std::string& line)
{
    PluginLogLine read{line, startsWith(line, kErrorLinePrefix)};
    const std::string::size_type call = line.find(kTestLineTty);
    if (!startsWith(line, kTestLinePrefix) || call == std::string::npos) {
        return read;
    }
    const std::string::size_type close = line.find(kTestLineTtyEnd, call);
    const std::string::size_type name = line.rfind("::", call);
    if (close == std::string::npos || name == std::string::npos) {
        return read;
    }
    const std::string function = line.substr(name + 2, call - name - 2);
    std::string rest = line.substr(close + 1);
    const std::size_t separator = std::char_traits<char>::length(kTestLineText);
    if (rest.compare(0, separator, kTestLineText) == 0) {
        rest.erase(0, separator);
    }
    read.text = rest.empty() ? function : function + ": " + rest;
    return read;
}

void PluginLog::testStarted(const std::string& tty)
{
    m_tty = tty;
    m_taken = 0;
}

std::vector<PluginLogLine> PluginLog::take(bool testEnded)
{
    for (std::string& line : m_tail.newLines(testEnded)) {
        if (line.find_first_not_of(" \t") != std::string::npos) {
            const std::string tty = ttyOfLogLine(line);
            m_waiting[tty.empty() ? m_tty : tty].push_back(std::move(line));
        }
    }
    std::vector<PluginLogLine> lines;
    std::deque<std::string>& waiting = m_waiting[m_tty];
    while (!waiting.empty() && !(m_taken > 0 && isRunOpening(waiting.front()))) {
        m_taken += ttyOfLogLine(waiting.front()).empty() ? 0 : 1;
        lines.push_back(readLogLine(waiting.front()));
        waiting.pop_front();
    }
    return lines;
}

}  // namespace diaghost
