// FakeClock.h - instant waits for the fuzz targets: a monotonic clock that only the waits move.
//
// The serial layer waits in poll() against CLOCK_MONOTONIC and the framework
// sleeps with clock_nanosleep(), so a modem that stays silent costs real
// seconds per input. A target that includes this header (one source file
// per target) replaces those three functions for the whole program. Inside
// a fakeclock::Instant scope, on the thread that opened it, the monotonic
// clock stands still until a wait moves it: poll() looks at the descriptors
// without blocking and, when nothing is ready, advances the clock by its
// whole timeout; a sleep advances it to its end. Outside the scope, and on
// every other thread (libFuzzer's own timers), everything is real. A
// target may also hook each wait, to answer as a modem would (FuzzModem.h).
#pragma once

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fakeclock {

inline thread_local bool tActive = false;
inline thread_local std::int64_t tNowNs = 0;
// Called at the start of every poll() inside a scope.
inline thread_local void (*tOnWait)() = nullptr;

inline bool IsMonotonic(clockid_t clock)
{
    return clock == CLOCK_MONOTONIC || clock == CLOCK_MONOTONIC_RAW || clock == CLOCK_MONOTONIC_COARSE ||
           clock == CLOCK_BOOTTIME;
}

inline int RealClock(clockid_t clock, struct timespec* now)
{
    return static_cast<int>(syscall(SYS_clock_gettime, clock, now));
}

inline std::int64_t Ns(const struct timespec& at)
{
    return static_cast<std::int64_t>(at.tv_sec) * 1000000000 + at.tv_nsec;
}

// Virtual time for the scope's lifetime, starting at the real time.
class Instant {
public:
    Instant()
    {
        struct timespec now;
        RealClock(CLOCK_MONOTONIC, &now);
        tNowNs = Ns(now);
        tActive = true;
    }
    ~Instant() { tActive = false; }
    Instant(const Instant&) = delete;
    Instant& operator=(const Instant&) = delete;
};

}  // namespace fakeclock

extern "C" int clock_gettime(clockid_t clock, struct timespec* now)
{
    if (fakeclock::tActive && fakeclock::IsMonotonic(clock)) {
        now->tv_sec = static_cast<time_t>(fakeclock::tNowNs / 1000000000);
        now->tv_nsec = static_cast<long>(fakeclock::tNowNs % 1000000000);
        return 0;
    }
    return fakeclock::RealClock(clock, now);
}

extern "C" int poll(struct pollfd* fds, nfds_t count, int timeoutMs)
{
    if (!fakeclock::tActive) {
        struct timespec limit = {timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000};
        return ppoll(fds, count, timeoutMs < 0 ? nullptr : &limit, nullptr);
    }
    if (fakeclock::tOnWait != nullptr) {
        fakeclock::tOnWait();
    }
    // With no descriptor to look at, a poll is a plain sleep.
    const struct timespec zero = {0, 0};
    const int ready = count == 0 ? 0 : ppoll(fds, count, &zero, nullptr);
    if (ready == 0 && timeoutMs > 0) {
        fakeclock::tNowNs += static_cast<std::int64_t>(timeoutMs) * 1000000;
    }
    return ready;
}

extern "C" int clock_nanosleep(clockid_t clock, int flags, const struct timespec* request, struct timespec* remain)
{
    if (fakeclock::tActive && fakeclock::IsMonotonic(clock)) {
        const std::int64_t until =
            (flags & TIMER_ABSTIME) != 0 ? fakeclock::Ns(*request) : fakeclock::tNowNs + fakeclock::Ns(*request);
        if (until > fakeclock::tNowNs) {
            fakeclock::tNowNs = until;
        }
        return 0;
    }
    const long result = syscall(SYS_clock_nanosleep, clock, flags, request, remain);
    return result == 0 ? 0 : errno;
}
