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
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const long kGiveUpUs = 3000000;  // a release slower than this is reported as never
const long kPollUs = 50;         // pause between reads while waiting for the release

// The use count on MODULE's line ("NAME SIZE COUNT ..."), or -1 when the file
// cannot be read or has no such line.
int UseCount(const char* modulesFile, const char* module)
{
    FILE* file = std::fopen(modulesFile, "r");
    if (file == nullptr) {
        return -1;
    }
    const std::size_t nameLength = std::strlen(module);
    char line[512];
    int count = -1;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, module, nameLength) == 0 && line[nameLength] == ' ') {
            unsigned long size = 0;
            int value = -1;
            if (std::sscanf(line + nameLength, "%lu %d", &size, &value) == 2) {
                count = value;
            }
            break;
        }
    }
    std::fclose(file);
    return count;
}

long NowUs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000L + now.tv_nsec / 1000;
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
    const char* modules = argv[2];
    const char* module = argv[3];
    const long settleUs = argc == 5 ? std::atol(argv[4]) * 1000L : 0;
    // The count after a step that followed a read of `previous`.
    const auto countAfterStep = [&](int previous) {
        const long start = NowUs();
        int count = UseCount(modules, module);
        while (count == previous && NowUs() - start < settleUs) {
            const timespec pause{0, 1000000L};
            nanosleep(&pause, nullptr);
            count = UseCount(modules, module);
        }
        return count;
    };

    const int before = UseCount(modules, module);
    if (before < 0) {
        std::fprintf(stderr, "vm_usecount: no line for %s in %s\n", module, modules);
        return 1;
    }
    const int first = OpenTty(tty);
    if (first < 0) {
        return 1;
    }
    const int open = countAfterStep(before);
    const int second = OpenTty(tty);
    if (second < 0) {
        close(first);
        return 1;
    }
    const int secondOpen = countAfterStep(open);
    close(second);
    const int oneClosed = countAfterStep(secondOpen);
    const long closedAt = NowUs();
    close(first);
    const long closeUs = NowUs() - closedAt;
    const int lastClosed = UseCount(modules, module);

    // Paced reads until the count drops below what the open tty held.
    int fallen = lastClosed;
    long releaseUs = -1;
    for (;;) {
        if (fallen >= 0 && fallen < open) {
            releaseUs = NowUs() - closedAt;
            break;
        }
        if (NowUs() - closedAt > kGiveUpUs) {
            break;
        }
        const timespec pause{0, kPollUs * 1000};
        nanosleep(&pause, nullptr);
        fallen = UseCount(modules, module);
    }
    std::printf(
        "usecount before=%d open=%d second_open=%d one_closed=%d last_closed=%d fallen=%d close_us=%ld release_us=%ld\n",
        before, open, secondOpen, oneClosed, lastClosed, fallen, closeUs, releaseUs);
    return 0;
}
