// LogFile.cpp - opening the class-wide log files and writing their dated banner.
#include "LogFile.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool OpenLogFile(std::ofstream& log, const std::string& path, LogCreation creation)
{
    // Opened without blocking first, to look at what the path is before the
    // stream opens it.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0664);
    if (fd >= 0) {
        if (creation == LogCreation::GroupWritable) {
            fchmod(fd, 0664);
        }
    } else if (errno == EEXIST) {
        fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd < 0) {
        return false;
    }
    struct stat info;
    const bool usable = fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISCHR(info.st_mode));
    close(fd);
    if (!usable) {
        return false;
    }
    log.clear();
    log.open(path, std::ios::out | std::ios::app);
    return log.is_open();
}

void WriteLogBanner(std::ofstream& log)
{
    const std::time_t now = std::time(nullptr);
    const char* date = std::ctime(&now);
    log << "\n******************** " << (date != nullptr ? date : "\n") << std::endl;
}
