// Signals.cpp - blocked termination signals, a timed wait for them, and the cleanups.
#include "Signals.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <utility>
#include <vector>

namespace diaghost {

namespace {

std::mutex g_cleanupMutex;
std::vector<std::pair<unsigned long, std::function<void()>>> g_cleanups;
unsigned long g_lastCleanupId = 0;

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

}  // namespace

void blockTerminationSignals()
{
    const sigset_t set = terminationSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int waitForSignal(int timeoutMs)
{
    const sigset_t set = terminationSet();
    timespec timeout{};
    timeout.tv_sec = timeoutMs / 1000;
    timeout.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
    // A timeout (EAGAIN) and a wait cut short by another signal (EINTR)
    // both mean "nothing yet": the caller's loop comes back sooner.
    const int signal = sigtimedwait(&set, nullptr, &timeout);
    return signal > 0 ? signal : 0;
}

Cleanup::Cleanup(std::function<void()> step)
{
    std::lock_guard<std::mutex> lock(g_cleanupMutex);
    m_id = ++g_lastCleanupId;
    g_cleanups.emplace_back(m_id, std::move(step));
}

Cleanup::~Cleanup()
{
    std::function<void()> step;
    {
        std::lock_guard<std::mutex> lock(g_cleanupMutex);
        for (auto entry = g_cleanups.begin(); entry != g_cleanups.end(); ++entry) {
            if (entry->first == m_id) {
                step = std::move(entry->second);
                g_cleanups.erase(entry);
                break;
            }
        }
    }
    if (step) {
        step();
    }
}

void quitNow(int status)
{
    std::vector<std::pair<unsigned long, std::function<void()>>> steps;
    {
        std::lock_guard<std::mutex> lock(g_cleanupMutex);
        steps.swap(g_cleanups);
    }
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        step->second();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

}  // namespace diaghost
