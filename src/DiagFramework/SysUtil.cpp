// SysUtil.cpp - monotonic sleep.
#include "QuarnDiags/SysUtil.h"

#include <cerrno>
#include <ctime>

namespace QuarnDiags {
namespace System {

void SysUtil::sleepForMilliseconds(Uint ms)
{
    // An absolute deadline on the monotonic clock: a signal that interrupts
    // the sleep does not shorten it, and a wall-clock jump does not move it.
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

}  // namespace System
}  // namespace QuarnDiags
