// fuzz_serial_reply.cpp - reply lines and waits over arbitrary bytes from a modem.
//
// The input is what the modem sends on a line that hangs up after its last
// byte. The check reads it the way the tests do: a line, then waits for
// "OK\r" and "OK", then another line, then a flush.
//
// The serial layer takes one byte per read() by design, and the waits run
// for real time; either would cap this target at a few thousand inputs a
// second. So the line is a descriptor whose reads this target serves from
// the input (one byte each, then end-of-file, as a pipe whose writer has
// closed), and the waits run on the target's own clock (FakeClock.h).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "FakeClock.h"
#include "FuzzRoot.h"
#include "PortComm.h"

namespace {

// The line's descriptor (a /dev/null kept open, so poll() finds it always
// readable, as a hung-up pipe is) and the bytes it still holds.
int gLine = -1;
const std::uint8_t* gData = nullptr;
std::size_t gLeft = 0;

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    if (!fakeclock::tActive || fd != gLine || gLine < 0) {
        return syscall(SYS_read, fd, buffer, count);
    }
    const std::size_t taken = std::min(count, gLeft);
    std::memcpy(buffer, gData, taken);
    gData += taken;
    gLeft -= taken;
    return static_cast<ssize_t>(taken);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzroot::Root();
    if (gLine < 0) {
        gLine = open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    gData = data;
    gLeft = size;
    const fakeclock::Instant instant;

    // A guard byte after the buffer must survive every read.
    char line[257];
    line[256] = 0x5A;
    PortReadLine(gLine, line, 256, 1);
    PortWaitFor(gLine, "OK\r", 1);
    PortWaitFor(gLine, "OK", 1);
    std::memset(line, 0, 256);
    if (PortReadLine(gLine, line, 256, 1) && strnlen(line, 256) == 256) {
        __builtin_trap();  // a whole line is always terminated
    }
    if (line[256] != 0x5A) {
        __builtin_trap();
    }
    PortFlush(gLine);
    if (gLeft != 0) {
        __builtin_trap();  // the flush takes whatever is left
    }
    return 0;
}
