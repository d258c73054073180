// LogTail.h - the lines appended to a log file since a starting point, read as they come.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace diaghost {

// Follows one log file from its size at construction on, like tail -f: each
// call to newLines() returns the whole lines written since the last call.
// Only a regular file is read, without blocking; a file that shrank (was
// truncated) is read again from its start, and when the name comes to
// mean another file (the log was rotated by renaming it), the old one is
// read to its end and the new one from its start.
class LogTail {
public:
    explicit LogTail(const std::string& path);
    ~LogTail();
    LogTail(const LogTail&) = delete;
    LogTail& operator=(const LogTail&) = delete;

    // Lines without their line ends. With flush, a last line that still
    // lacks its line end is returned too.
    std::vector<std::string> newLines(bool flush = false);

private:
    bool openFile();
    // Reads what the open file gained, 64 KiB a call at the most (total
    // counts them); true when it reached the file's end.
    bool readMore(std::size_t& total);
    // Whether the path now names another file than the one open.
    bool replaced() const;

    std::string m_path;
    int m_fd = -1;
    off_t m_offset = 0;
    std::string m_partial;
};

}  // namespace diaghost
