// PortLock.cpp - LCK..<tty> lock files: read, taken over when stale, made and removed.
#include "PortLock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <unistd.h>

namespace diaghost {

pid_t readHolder(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return 0;
    }
    char text[32] = {};
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got == 4 && (text[0] < ' ' || text[0] > '~')) {
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        return binary > 0 ? binary : 0;
    }
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    const bool whole = end != text && (*end == '\0' || *end == '\n');
    return whole && pid > 0 && pid <= 0x3FFFFFFF ? static_cast<pid_t>(pid) : 0;
}

PortLock::PortLock(const std::string& folder, const std::string& port)
    : tty(port), path(folder + "/LCK.." + port.substr(port.rfind('/') + 1))
{
    // A lock that goes stale between our look and our removal is taken on
    // the next turn; two turns are enough unless another program races us.
    for (int turn = 0; turn < 3; ++turn) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
            const bool written = write(fd, text, static_cast<std::size_t>(length)) == length;
            const int writeError = errno;
            if (close(fd) != 0 || !written) {
                error = std::strerror(written ? errno : writeError);
                unlink(path.c_str());
                return;
            }
            state = State::Held;
            const pid_t self = getpid();
            // Removed only while it still names us.
            m_remove = std::make_unique<Cleanup>([file = path, self] {
                if (readHolder(file) == self) {
                    unlink(file.c_str());
                }
            });
            return;
        }
        if (errno != EEXIST) {
            error = std::strerror(errno);
            return;
        }
        pid_t holder = readHolder(path);
        if (holder == 0) {
            // Perhaps made a moment ago and not written yet: look once more.
            poll(nullptr, 0, 50);
            holder = readHolder(path);
        }
        // Alive: a signal could be sent to it (EPERM: by its owner only).
        if (holder > 0 && (kill(holder, 0) == 0 || errno == EPERM)) {
            state = State::Busy;
            holderPid = holder;
            std::getline(std::ifstream("/proc/" + std::to_string(holder) + "/comm"), holderName);
            holderName = holderName.empty() ? "unknown" : holderName;
            return;
        }
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            error = std::string("a stale lock cannot be removed: ") + std::strerror(errno);
            return;
        }
        removedStale = true;
        stalePid = holder;
    }
    error = "another program keeps taking the lock";
}

std::string lockMessage(const PortLock& lock)
{
    switch (lock.state) {
    case PortLock::State::Busy:
        return "locked by PID " + std::to_string(lock.holderPid) + " (" + lock.holderName + ")";
    case PortLock::State::Unlockable:
        return "Cannot lock " + lock.tty + " (" + lock.path + "): " + lock.error + "; testing without the lock.";
    case PortLock::State::Held: break;
    }
    if (!lock.removedStale) {
        return std::string();
    }
    return "Removed a stale lock of " + lock.tty + ": " +
           (lock.stalePid != 0 ? "its process " + std::to_string(lock.stalePid) + " is gone." : "it names no process.");
}

}  // namespace diaghost
