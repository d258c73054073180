// Signals.cpp - blocked termination signals, a wait for them beside other work, and the cleanups.
#include "Signals.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "ExitStatus.h"

namespace diaghost {

namespace {

std::mutex g_cleanupMutex;
std::vector<Cleanup*> g_cleanups;  // pending, oldest first

// What endAtOnce() writes, and where: set before its signals are let in.
struct Notice {
    const char* text;
    std::size_t length;
};
int g_noticeFd = -1;
Notice g_interrupted = {"", 0};
Notice g_stopped = {"", 0};

// The signals that end the program, without SIGPIPE: a closed pipe stays an
// error of the write that meets it.
const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t terminationSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGPIPE);
    return set;
}

// The handler of runEndingOnSignal(). The signal may come anywhere inside
// the work, in the plug-in or the C library: only async-signal-safe calls.
void endAtOnce(int signal)
{
    const Notice& notice = signal == SIGINT ? g_interrupted : g_stopped;
    for (std::size_t written = 0; written < notice.length;) {
        const ssize_t count = write(g_noticeFd, notice.text + written, notice.length - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        written += static_cast<std::size_t>(count);
    }
    _exit(EXIT_SIGNAL_BASE + signal);
}

}  // namespace

void blockTerminationSignals()
{
    const sigset_t set = terminationSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int waitForSignal(int timeoutMs, int fd)
{
    // The signals stay blocked; a signalfd makes them readable, so that one
    // poll waits for them and for the work together. It is made once, by
    // the main thread, which alone waits here.
    static const int signals = [] {
        const sigset_t set = terminationSet();
        return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    }();
    pollfd waits[] = {{signals, POLLIN, 0}, {fd, POLLIN, 0}};  // poll() passes over a negative fd
    // A wait cut short by another signal (EINTR) means "nothing yet": the
    // caller's loop comes back sooner.
    if (poll(waits, 2, timeoutMs) <= 0 || (waits[0].revents & POLLIN) == 0) {
        return 0;
    }
    signalfd_siginfo info{};
    if (read(signals, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
        return 0;
    }
    if (info.ssi_signo == SIGPIPE) {
        quitNow(EXIT_CLOSED_PIPE);
    }
    return static_cast<int>(info.ssi_signo);
}

void runEndingOnSignal(const std::function<void()>& work, int fd, const std::string& interrupted,
                       const std::string& stopped)
{
    g_noticeFd = fd;
    g_interrupted = {interrupted.c_str(), interrupted.size()};
    g_stopped = {stopped.c_str(), stopped.size()};
    struct sigaction action {};
    action.sa_handler = endAtOnce;
    sigfillset(&action.sa_mask);  // one signal at a time
    struct sigaction previous[std::size(kStopSignals)];
    sigset_t set;
    sigemptyset(&set);
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
        sigaction(kStopSignals[i], &action, &previous[i]);
        sigaddset(&set, kStopSignals[i]);
    }
    // One that came before is taken here, at once.
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    struct Restore {
        const sigset_t& set;
        const struct sigaction* previous;
        ~Restore()
        {
            // Blocked first: one that comes now waits, as it did before.
            pthread_sigmask(SIG_BLOCK, &set, nullptr);
            for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
                sigaction(kStopSignals[i], &previous[i], nullptr);
            }
        }
    } restore{set, previous};
    work();
}

Wakeup::Wakeup() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Wakeup::~Wakeup()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

void Wakeup::notify()
{
    const std::uint64_t one = 1;
    // The counter only fails to take more at its maximum, still awake.
    while (write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Wakeup::clear()
{
    std::uint64_t count = 0;
    while (read(m_fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

Cleanup::Cleanup(std::function<void()> step) : m_step(std::move(step))
{
    std::lock_guard<std::mutex> lock(g_cleanupMutex);
    g_cleanups.push_back(this);
}

Cleanup::~Cleanup()
{
    std::unique_lock<std::mutex> lock(g_cleanupMutex);
    const auto entry = std::find(g_cleanups.begin(), g_cleanups.end(), this);
    if (entry != g_cleanups.end()) {  // not yet run by quitNow()
        g_cleanups.erase(entry);
        lock.unlock();
        m_step();
    }
}

void quitNow(int status)
{
    std::vector<Cleanup*> steps;
    {
        std::lock_guard<std::mutex> lock(g_cleanupMutex);
        steps.swap(g_cleanups);
    }
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        (*step)->m_step();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

}  // namespace diaghost
