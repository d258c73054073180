// OutputFiles.cpp - checks and replaces the report files of a run; keeps watch over standard output.
#include "OutputFiles.h"

#include <cerrno>
#include <climits>
#include <cstdlib>  // mkostemp
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "ExitStatus.h"

namespace diaghost {

namespace {

int g_stdoutError = 0;  // errno of the first failed write to standard output, 0 while there is none

void noteStdoutError(int error)
{
    if (g_stdoutError == 0) {
        g_stdoutError = error != 0 ? error : EIO;
    }
}

bool writeAll(int fd, const std::string& content)
{
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            errno = wrote == 0 ? EIO : errno;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

const char* const kFolderNotFile = "a folder, not a file";

// A new, empty file beside path, with a dot name (which node_exporter's
// textfile collector skips): its descriptor and name, or -1 and error.
int createBeside(const std::string& path, std::string& temp, std::string& error)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    if (base == path.size()) {
        error = kFolderNotFile;
        return -1;
    }
    temp = path.substr(0, base) + "." + path.substr(base) + ".XXXXXX";
    const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) {
        error = "cannot create a file in " + parentFolder(path) + ": " + std::strerror(errno);
    }
    return fd;
}

}  // namespace

std::string parentFolder(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string absolutePath(const std::string& path)
{
    if (path.empty() || path[0] == '/') {
        return path;
    }
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        return path;
    }
    std::string relative = path;
    while (relative.compare(0, 2, "./") == 0) {
        relative.erase(0, 2);
    }
    return std::string(cwd) + "/" + relative;
}

bool canWriteFile(const std::string& path, std::string& reason)
{
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        // A folder or a device would be renamed away, not written to.
        reason = S_ISDIR(info.st_mode) ? kFolderNotFile : "not a regular file";
        return false;
    }
    std::string temp;
    const int fd = createBeside(path, temp, reason);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(temp.c_str());
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& content, std::string& error)
{
    std::string temp;
    const int fd = createBeside(path, temp, error);
    if (fd < 0) {
        return false;
    }
    int failure = 0;
    if (!writeAll(fd, content) || ::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) {
        failure = errno;
    }
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && ::rename(temp.c_str(), path.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temp.c_str());
        error = std::string("cannot replace it: ") + std::strerror(failure);
        return false;
    }
    // The rename itself survives a crash once the folder is on disk.
    const int dir = ::open(parentFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool moveFileWhole(const std::string& from, const std::string& to, std::string& error)
{
    if (::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        error = std::string("cannot replace ") + to + ": " + std::strerror(errno);
        return false;
    }
    std::ifstream in(from, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in.is_open()) {
        error = "cannot read " + from;
        return false;
    }
    if (!writeFileAtomically(to, content.str(), error)) {
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

void flushOutput(std::FILE* stream)
{
    if (std::fflush(stream) != 0 && stream == stdout) {
        noteStdoutError(errno);
    }
}

void printOutput(const std::string& text)
{
    errno = 0;
    if (std::fputs(text.c_str(), stdout) == EOF) {
        noteStdoutError(errno);
    }
    flushOutput(stdout);
}

int finishStandardOutput(int status)
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        noteStdoutError(errno);
    }
    // close() reports what a file system kept back until then (NFS, quotas).
    // A copy of the descriptor is closed, so that standard output stays
    // open for whatever still runs before the exit (a signal's clean-up).
    // A standard output closed before diaghost started has no copy.
    const int copy = dup(STDOUT_FILENO);
    if (copy >= 0 && close(copy) != 0) {
        noteStdoutError(errno);
    }
    if (g_stdoutError == 0) {
        return status;
    }
    if (g_stdoutError == EPIPE) {
        return EXIT_CLOSED_PIPE;
    }
    std::fprintf(stderr, "diaghost: cannot write standard output: %s\n", std::strerror(g_stdoutError));
    return EXIT_IOERR;
}

}  // namespace diaghost
