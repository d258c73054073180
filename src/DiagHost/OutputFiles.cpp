// OutputFiles.cpp - checks and writes the report files of a run.
#include "OutputFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace diaghost {

bool canWriteFile(const std::string& path, std::string& reason)
{
    if (path.empty()) {
        reason = std::strerror(ENOENT);
        return false;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            reason = std::strerror(EISDIR);
            return false;
        }
        // Opened, not truncated: the old report stays until the new one is written.
        const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            reason = std::strerror(errno);
            return false;
        }
        close(fd);
        return true;
    }
    if (errno != ENOENT) {
        reason = std::strerror(errno);
        return false;
    }
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (stat(folder.c_str(), &info) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        reason = std::strerror(ENOTDIR);
        return false;
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

bool writeFile(const std::string& path, const std::string& content, std::string& reason)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t count = write(fd, content.data() + done, content.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            reason = std::strerror(count < 0 ? errno : EIO);
            close(fd);
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    if (close(fd) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace diaghost
