// usecount.cpp - opens and closes a driver's tty and reports the driver's use count after each step.
//
//   vm_usecount TTY MODULES_FILE MODULE [SETTLE_MS]
//
// Prints one line
//   usecount before=B open=O second_open=S one_closed=C last_closed=L fallen=F close_us=T release_us=U
// where each count is the module's use count read from MODULES_FILE right
// after the step, fallen the count once it has dropped below the last open
// one (or the last count seen when it never does), close_us how long the
// last close() took and release_us how long after the start of that close
// a read first saw the count dropped (-1: never). A read takes time too, so
// release_us is an upper bound. The guest measures the kernel with it and
// the host the simulator, so that the two can be compared number by number.
// SETTLE_MS (default 0): each read that follows an open or a close is
// repeated, every millisecond, until the count differs from the one before
// the step or SETTLE_MS have passed: the kernel counts during the open()
// itself, the simulator once it has been told of the open, a moment later
// (longer on a busy machine).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

const microseconds kGiveUp(3000000);  // a release slower than this is reported as never
const microseconds kPoll(50);         // pause between reads while waiting for the release

// The use count on MODULE's line ("NAME SIZE COUNT ..."), or -1 when the file
// cannot be read or has no such line.
int UseCount(const char* modulesFile, const std::string& module)
{
    std::ifstream file(modulesFile);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string name;
        unsigned long size = 0;
        int count = -1;
        if (fields >> name >> size >> count && name == module) {
            return count;
        }
    }
    return -1;
}

long long MicrosecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<microseconds>(Clock::now() - start).count();
}

int OpenTty(const char* path)
{
    // Not blocking on open: a port without carrier must not hang the step.
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::fprintf(stderr, "vm_usecount: cannot open %s: %s\n", path, std::strerror(errno));
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: vm_usecount TTY MODULES_FILE MODULE [SETTLE_MS]\n");
        return 64;
    }
    const char* tty = argv[1];
    const auto count = [modules = argv[2], module = std::string(argv[3])] { return UseCount(modules, module); };
    const std::chrono::milliseconds settle(argc == 5 ? std::atol(argv[4]) : 0);
    // The count after a step that followed a read of `previous`.
    const auto countAfterStep = [&](int previous) {
        const auto start = Clock::now();
        int now = count();
        while (now == previous && Clock::now() - start < settle) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            now = count();
        }
        return now;
    };

    const int before = count();
    if (before < 0) {
        std::fprintf(stderr, "vm_usecount: no line for %s in %s\n", argv[3], argv[2]);
        return 1;
    }
    const int first = OpenTty(tty);
    if (first < 0) {
        return 1;
    }
    const int open = countAfterStep(before);
    const int second = OpenTty(tty);
    if (second < 0) {
        return 1;
    }
    const int secondOpen = countAfterStep(open);
    close(second);
    const int oneClosed = countAfterStep(secondOpen);
    const auto closedAt = Clock::now();
    close(first);
    const long long closeUs = MicrosecondsSince(closedAt);
    const int lastClosed = count();

    // Paced reads until the count drops below what the open tty held.
    const auto released = [&](int now) { return now >= 0 && now < open; };
    int fallen = lastClosed;
    while (!released(fallen) && Clock::now() - closedAt <= kGiveUp) {
        std::this_thread::sleep_for(kPoll);
        fallen = count();
    }
    const long long releaseUs = released(fallen) ? MicrosecondsSince(closedAt) : -1;
    std::printf(
        "usecount before=%d open=%d second_open=%d one_closed=%d last_closed=%d fallen=%d close_us=%lld release_us=%lld\n",
        before, open, secondOpen, oneClosed, lastClosed, fallen, closeUs, releaseUs);
    return 0;
}
