// OutputFiles.cpp - checks the report files of a run; keeps watch over standard output.
#include "OutputFiles.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "ExitStatus.h"

namespace diaghost {

namespace {

// errno of the first failed write to standard output, 0 while there is none.
int g_stdoutError = 0;

void noteStdoutError(int error)
{
    if (g_stdoutError == 0) {
        g_stdoutError = error != 0 ? error : EIO;
    }
}

}  // namespace

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
        // A device or FIFO would be renamed away, not written to.
        if (!S_ISREG(info.st_mode)) {
            reason = "not a regular file";
            return false;
        }
    } else if (errno != ENOENT) {
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
    std::fprintf(stderr, "diaghost: cannot write standard output: %s\n", std::strerror(g_stdoutError));
    return EXIT_IOERR;
}

}  // namespace diaghost
