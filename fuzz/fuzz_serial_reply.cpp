// fuzz_serial_reply.cpp - reply lines and waits over arbitrary bytes from a modem.
//
// The input is what the modem sends, through a pipe that is then closed, as
// a line that hangs up after its last byte. The check reads it the way the
// tests do: a line, then waits for "OK\r" and "OK", then another line.
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "FuzzRoot.h"
#include "PortComm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzroot::Root();
    if (size > 4096) {
        return 0;  // more than a pipe holds without a reader
    }
    int ends[2];
    if (pipe2(ends, O_NONBLOCK) != 0) {
        return 0;
    }
    if (write(ends[1], data, size) != static_cast<ssize_t>(size)) {
        close(ends[0]);
        close(ends[1]);
        return 0;
    }
    close(ends[1]);

    // A guard byte after the buffer must survive every read.
    char line[257];
    line[256] = 0x5A;
    PortReadLine(ends[0], line, 256, 1);
    PortWaitFor(ends[0], "OK\r", 1);
    PortWaitFor(ends[0], "OK", 1);
    std::memset(line, 0, 256);
    if (PortReadLine(ends[0], line, 256, 1) && strnlen(line, 256) == 256) {
        __builtin_trap();  // a whole line is always terminated
    }
    if (line[256] != 0x5A) {
        __builtin_trap();
    }
    PortFlush(ends[0]);
    close(ends[0]);
    return 0;
}
