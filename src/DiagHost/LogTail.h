// LogTail.h - the lines appended to a log file since a starting point, read as they come.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace diaghost {

// Follows one regular file from its size at construction on, like tail -f,
// without blocking. A file that shrank is read again from its start; one
// rotated away is read to its end, then the new one from its start.
class LogTail {
public:
    explicit LogTail(const std::string& path);
    ~LogTail();
    LogTail(const LogTail&) = delete;
    LogTail& operator=(const LogTail&) = delete;

    // Whole lines written since the last call, without their line ends;
    // with flush, a last line still without its line end too.
    std::vector<std::string> newLines(bool flush = false);

private:
    bool openFile();
    // Reads what the file gained (total counts it); true at the file's end.
    bool readMore(std::size_t& total);
    bool replaced() const;  // whether the path now names another file than the one open

    std::string m_path;
    int m_fd = -1;
    off_t m_offset = 0;
    std::string m_partial;
};

}  // namespace diaghost
