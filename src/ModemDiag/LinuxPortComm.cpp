// LinuxPortComm.cpp - modem tty access on Linux: raw line setup, sends, byte-at-a-time timed waits.
#include "PortComm.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "Deadline.h"
#include "SystemPath.h"
#include "Velk.h"

struct termios gOldtio;

namespace {

// Pause after a read that failed for real (or read end-of-file). A tty that
// hung up fails every read at once and poll() reports it ready at once, so
// without this pause a wait would log one line per pass and burn a core for
// its whole time limit.
const std::int64_t kFailedReadPauseUs = 25000;

// A flush discards what is pending, and a modem pauses between replies, so
// a port that still has input after this many bytes or this long is a
// modem that never stops sending (a stuck line, a peer in a loop): the flush
// gives up instead of holding the test forever.
const unsigned kFlushMaxBytes = 65536;
const std::int64_t kFlushMaxUs = 1000000;

// Blocks until hPort has input pending (or reports a hang-up or error), or
// until the deadline; with hPort -1 it only sleeps. A signal does not cut
// the wait short. Returns poll's events for the port, 0 when the time ran
// out.
short BlockUntil(HANDLE hPort, const Deadline& deadline)
{
    for (;;) {
        if (deadline.expired()) {
            return 0;
        }
        struct pollfd pfd;
        pfd.fd = hPort;
        pfd.events = POLLIN;
        pfd.revents = 0;
        const int ready = poll(hPort >= 0 ? &pfd : nullptr, hPort >= 0 ? 1 : 0, deadline.pollTimeoutMs());
        if (ready > 0) {
            return pfd.revents;
        }
        if (ready == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return POLLERR;
        }
    }
}

enum ReadOutcome { kGotByte, kNothingPending, kReadFailed };

// One attempt to take a single byte from the port. Only one byte is ever
// taken: whatever follows a match or a line's carriage return must stay in
// the port for the next call.
ReadOutcome ReadOneByte(HANDLE hPort, char* dst)
{
    const int got = PortRead(hPort, 1, dst);
    if (got == 1) {
        return kGotByte;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return kNothingPending;
    }
    return kReadFailed;
}

// What a wait does after an attempt that brought no byte, at most until the
// wait's deadline: block until input is pending, or pause after a failed
// read.
void WaitAfterNoByte(HANDLE hPort, ReadOutcome outcome, const Deadline& deadline)
{
    const Deadline pause(kFailedReadPauseUs);
    const Deadline& pauseEnd = pause.endsBefore(deadline) ? pause : deadline;
    if (outcome == kReadFailed) {
        BlockUntil(-1, pauseEnd);
        return;
    }
    const short events = BlockUntil(hPort, deadline);
    // Hang-up or error without input: the next read would find nothing
    // again, so pace it like a failed read instead of polling in a loop.
    if (events != 0 && (events & POLLIN) == 0) {
        BlockUntil(-1, pauseEnd);
    }
}

}  // namespace

extern "C" HANDLE PortOpen(const char* devName)
{
    const char* shown = devName != nullptr ? devName : "";
    const std::string path = SystemPath(shown);
    // Close-on-exec besides the contract's flags: a program the host starts
    // while a test runs must not inherit the modem's line.
    const HANDLE hPort = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (hPort == -1) {
        ErrorMessage("Unable to open serial device %s", shown);
    }
    return hPort;
}

extern "C" BOOL PortClose(HANDLE hPort)
{
    if (close(hPort) != 0) {
        ErrorMessage("Error closing port");
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL PortSetup(HANDLE hPort)
{
    const bool saved = tcgetattr(hPort, &gOldtio) == 0;

    // Raw 8N1 at 57600 baud with RTS/CTS; every field not set here is zero,
    // so the speed travels in c_cflag alone. Applied even when the old
    // settings could not be read.
    struct termios newtio;
    std::memset(&newtio, 0, sizeof newtio);
    newtio.c_cflag = B57600 | CRTSCTS | CS8 | CLOCAL | CREAD;
    newtio.c_iflag = IGNPAR;
    newtio.c_cc[VTIME] = 1;
    newtio.c_cc[VMIN] = 0;
    const bool applied = tcsetattr(hPort, TCSANOW, &newtio) == 0;

    if (!saved || !applied) {
        ErrorMessage("Failed to set up port");
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL PortRestoreSetup(HANDLE hPort)
{
    if (tcsetattr(hPort, TCSANOW, &gOldtio) != 0) {
        ErrorMessage("Failed to restore port settings");
        return FALSE;
    }
    return TRUE;
}

extern "C" int PortWrite(HANDLE hPort, int nBytes, const void* srcPtr)
{
    const ssize_t written = write(hPort, srcPtr, nBytes > 0 ? static_cast<size_t>(nBytes) : 0);
    if (written == -1) {
        const int savedErrno = errno;
        ErrorMessage("Error writing to modem device");
        errno = savedErrno;
        return -1;
    }
    return static_cast<int>(written);
}

extern "C" int PortRead(HANDLE hPort, int nBytes, void* dstPtr)
{
    const ssize_t got = read(hPort, dstPtr, nBytes > 0 ? static_cast<size_t>(nBytes) : 0);
    if (got == -1) {
        // Nothing pending is the idle answer of a non-blocking port, not an
        // error. errno survives the message so the waits can tell the two
        // apart.
        const int savedErrno = errno;
        if (savedErrno != EAGAIN && savedErrno != EWOULDBLOCK) {
            ErrorMessage("Error reading from device: %s", std::strerror(savedErrno));
        }
        errno = savedErrno;
        return -1;
    }
    return static_cast<int>(got);
}

extern "C" BOOL PortWaitFor(HANDLE hPort, const char* waitString, std::uint32_t timeout)
{
    // Callers always wait for some text; an empty one is never seen.
    if (waitString == nullptr || waitString[0] == '\0') {
        return FALSE;
    }
    const Deadline deadline = Deadline::afterMs(timeout);
    std::size_t matched = 0;

    while (!deadline.expired()) {
        char byte = 0;
        const ReadOutcome outcome = ReadOneByte(hPort, &byte);
        if (outcome == kGotByte) {
            if (byte == waitString[matched]) {
                ++matched;
                if (waitString[matched] == '\0') {
                    return TRUE;
                }
            } else {
                // A mismatch starts over without comparing this byte with
                // the first one again: "OOK" does not contain "OK" here.
                matched = 0;
            }
        } else {
            WaitAfterNoByte(hPort, outcome, deadline);
        }
    }
    return FALSE;
}

extern "C" BOOL PortReadLine(HANDLE hPort, char* line, std::uint32_t cbLine, std::int32_t timeout)
{
    // A zero capacity has no room even for the terminator.
    if (cbLine == 0) {
        return FALSE;
    }
    const Deadline deadline = Deadline::afterMs(timeout);
    std::uint32_t stored = 0;
    line[0] = '\0';

    while (cbLine != 0 && !deadline.expired()) {
        const ReadOutcome outcome = ReadOneByte(hPort, line + stored);
        if (outcome == kGotByte) {
            const char byte = line[stored];
            if (stored == 0 && (byte == '\r' || byte == '\n')) {
                // Line ends left over from an earlier reply: not part of
                // this line and no capacity used. The slot goes back to the
                // terminator so an empty result stays an empty string.
                line[0] = '\0';
            } else {
                --cbLine;
                if (byte == '\r') {
                    line[stored] = '\0';
                    return TRUE;
                }
                ++stored;
            }
        } else {
            WaitAfterNoByte(hPort, outcome, deadline);
        }
        // The loop test takes the time again after every byte, dropped line
        // ends too (a departure from taking it only after stored bytes), so
        // a peer that sends nothing but line ends cannot hold the wait past
        // its limit.
    }
    // The bytes stored so far stay as they are, without a terminator: the
    // capacity may be used up, and a terminator would overwrite a byte.
    return FALSE;
}

extern "C" int PortPrintf(HANDLE hPort, const char* arg, ...)
{
    char text[256];
    va_list args;
    va_start(args, arg);
    FormatText(text, sizeof text, arg, args);
    va_end(args);

    const int length = static_cast<int>(std::strlen(text));
    const int written = PortWrite(hPort, length, text);
    return written >= length ? written : -1;
}

extern "C" BOOL PortFlush(HANDLE hPort)
{
    // Discards only what is pending now; it never waits for more. The cap
    // ends the flush of a port whose input never runs dry, with one line.
    const Deadline deadline(kFlushMaxUs);
    unsigned discarded = 0;
    char byte;
    while (PortRead(hPort, 1, &byte) == 1) {
        if (++discarded >= kFlushMaxBytes || deadline.expired()) {
            ErrorMessage("Port still sending after %u bytes discarded, flush stopped", discarded);
            break;
        }
    }
    return TRUE;
}
