// LogTail.cpp - reads what a log file gained, bounded per call.
#include "LogTail.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace diaghost {

// A modem test logs a few kilobytes; more than this per call is left for
// the next one, so that a flooded log cannot stall the display.
constexpr std::size_t kMaxReadPerCall = 64 * 1024;

LogTail::~LogTail()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool LogTail::openFile()
{
    if (m_fd >= 0) {
        return true;
    }
    // Non-blocking, so that a FIFO in the log's place cannot hold the run.
    m_fd = open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info {};
    if (m_fd >= 0 && (fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(m_fd);
        m_fd = -1;
    }
    return m_fd >= 0;
}

LogTail::LogTail(const std::string& path) : m_path(path)
{
    struct stat info {};
    if (openFile() && fstat(m_fd, &info) == 0) {
        m_offset = info.st_size;
    }
}

bool LogTail::readMore(std::size_t& total)
{
    struct stat info {};
    if (fstat(m_fd, &info) != 0) {
        return true;
    }
    if (info.st_size < m_offset) {
        m_offset = 0;
        m_partial.clear();
    }
    char buffer[8192];
    while (total < kMaxReadPerCall) {
        const ssize_t count = pread(m_fd, buffer, std::min(sizeof buffer, kMaxReadPerCall - total), m_offset);
        if (count <= 0) {
            return true;
        }
        m_offset += count;
        total += static_cast<std::size_t>(count);
        m_partial.append(buffer, static_cast<std::size_t>(count));
    }
    return false;
}

bool LogTail::replaced() const
{
    struct stat named {};
    struct stat opened {};
    return stat(m_path.c_str(), &named) == 0 && fstat(m_fd, &opened) == 0 &&
           (named.st_dev != opened.st_dev || named.st_ino != opened.st_ino);
}

std::vector<std::string> LogTail::newLines(bool flush)
{
    std::vector<std::string> lines;
    std::size_t total = 0;
    if (!m_path.empty() && openFile()) {
        while (readMore(total) && replaced()) {
            if (!m_partial.empty()) {
                m_partial += '\n';
            }
            close(m_fd);
            m_fd = -1;
            m_offset = 0;
            if (!openFile()) {
                break;
            }
        }
    }
    std::string::size_type from = 0;
    for (std::string::size_type end; (end = m_partial.find('\n', from)) != std::string::npos; from = end + 1) {
        std::string line = m_partial.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    m_partial.erase(0, from);
    if (flush && !m_partial.empty()) {
        lines.push_back(m_partial);
        m_partial.clear();
    }
    return lines;
}

}  // namespace diaghost
