// Deadline.h - a time limit on the monotonic clock: when it started, what is left, whether it has passed.
#pragma once

#include <climits>
#include <cstdint>
#include <ctime>

// Waits are measured on the monotonic clock: a jump of the wall clock
// neither ends a wait early nor stretches it. Microseconds, so that a limit
// of n ms never ends before n ms have passed (whole milliseconds would let
// a wait end up to 1 ms short).
//
// Header only, so that the plug-in, the simulator and the benchmarks share
// it without the simulator or a benchmark linking anything new.
class Deadline {
public:
    // Microseconds on the monotonic clock.
    static std::int64_t nowUs()
    {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    }

    // Starts now and ends limitUs later (a limit of 0 or less has passed at once).
    explicit Deadline(std::int64_t limitUs = 0) : m_startUs(nowUs()), m_endUs(m_startUs + limitUs) {}
    static Deadline afterMs(std::int64_t limitMs) { return Deadline(limitMs * 1000); }

    // A deadline that ends delayUs after this one ends, or after now when
    // this one has passed: work queued behind earlier work.
    Deadline after(std::int64_t delayUs) const
    {
        Deadline next;
        const std::int64_t from = m_endUs > next.m_startUs ? m_endUs : next.m_startUs;
        next.m_endUs = from + delayUs;
        return next;
    }

    std::int64_t elapsedUs() const { return nowUs() - m_startUs; }
    double elapsedMs() const { return static_cast<double>(elapsedUs()) / 1000.0; }
    // Time left, never negative.
    std::int64_t remainingUs() const
    {
        const std::int64_t left = m_endUs - nowUs();
        return left > 0 ? left : 0;
    }
    bool expired() const { return remainingUs() == 0; }
    // The time left as a poll(2) timeout: rounded up to whole ms, so that
    // the poll does not wake just short of the end and spin once more.
    int pollTimeoutMs() const
    {
        const std::int64_t ms = (remainingUs() + 999) / 1000;
        return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
    }
    // Whether this deadline ends before another one.
    bool endsBefore(const Deadline& other) const { return m_endUs < other.m_endUs; }

private:
    std::int64_t m_startUs;
    std::int64_t m_endUs;
};
