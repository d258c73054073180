// LogFile.cpp - opening the class-wide log files safely and writing their dated banner.
#include "LogFile.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

#if defined(__GLIBCXX__)
// The descriptor under a filebuf. Standard C++ names none, so the
// library's own file member is reached through a member pointer taken in a
// derived class, which the language allows for protected members.
struct FilebufDescriptor : std::filebuf {
    static int of(std::filebuf& buffer) { return (buffer.*(&FilebufDescriptor::_M_file)).fd(); }
};
#endif

// Opens name inside the folder for appending, creating it when absent,
// never through a symbolic link, and never blocking (a FIFO without a
// reader fails with ENXIO; one with a reader is refused by the caller's
// check). Sets *created when this call made the file.
int OpenInFolder(int folder, const char* name, bool* created)
{
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    // The file may vanish or appear between the two opens; a second round
    // settles a rotation that happens just then.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = openat(folder, name, flags | O_CREAT | O_EXCL, 0664);
        if (fd >= 0) {
            *created = true;
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
        fd = openat(folder, name, flags);
        if (fd >= 0 || errno != ENOENT) {
            *created = false;
            return fd;
        }
    }
    return -1;
}

}  // namespace

bool OpenLogFile(std::ofstream& log, const std::string& path, LogCreation creation)
{
    // The folder may be a link (the package's log folder is one on Debian);
    // only the file's own name is not followed.
    const std::string::size_type slash = path.rfind('/');
    const std::string folderPath = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const Descriptor folder(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 || name.empty()) {
        return false;
    }

    bool created = false;
    const Descriptor file(OpenInFolder(folder.get(), name.c_str(), &created));
    if (file.get() < 0) {
        return false;
    }
    // What was opened, not what the name means now, decides: a regular
    // file with one link. A second link would be another name for a file
    // that may not be ours (a hard link to a file a member cannot write).
    struct stat info;
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        return false;
    }
    if (created && creation == LogCreation::GroupWritable) {
        fchmod(file.get(), 0664);
    }
    // Non-blocking was only for the open; writes to the file block as usual.
    const int statusFlags = fcntl(file.get(), F_GETFL);
    if (statusFlags != -1) {
        fcntl(file.get(), F_SETFL, statusFlags & ~O_NONBLOCK);
    }

    // A std::ofstream cannot take a descriptor, and the streams must stay
    // ofstreams (gpLogFile points at one). /proc/self/fd/<n> names the file
    // this descriptor holds, not the path: the kernel follows it to the
    // checked inode even if the name in the folder was swapped meanwhile.
    // Without /proc the log is refused rather than opened by name.
    char procPath[64];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", file.get());
    log.clear();
    log.open(procPath, std::ios::out | std::ios::app);
    if (!log.is_open()) {
        return false;
    }
#if defined(__GLIBCXX__)
    // The stream's own descriptor, like the checked one, stays out of
    // programs the host starts.
    const int streamFd = FilebufDescriptor::of(*log.rdbuf());
    if (streamFd >= 0) {
        fcntl(streamFd, F_SETFD, fcntl(streamFd, F_GETFD) | FD_CLOEXEC);
    }
#endif
    return true;
}

void WriteLogBanner(std::ofstream& log)
{
    const std::time_t now = std::time(nullptr);
    const char* date = std::ctime(&now);
    log << "\n******************** " << (date != nullptr ? date : "\n") << std::endl;
}
