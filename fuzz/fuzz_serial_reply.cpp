// fuzz_serial_reply.cpp - reply lines and waits over arbitrary bytes and read errors from a modem.
//
// The input is a script of what the line's reads answer: each byte is a
// byte from the modem, except 0xFF, which takes the next byte as an event:
// (n % 6) 0 "nothing pending" (EAGAIN), 1 EINTR, 2 EIO, 3 hang-up (every
// read from then on finds end-of-file), 4 a silence longer than any wait
// (EAGAIN after the clock moved on), 5 the byte 0xFF itself. When the script
// runs out the line stays silent. The check reads it the way the tests do:
// a line, waits for "OK\r" and "OK", another line, then a flush; and it
// compares every answer, the lines' bytes and what each step consumed with
// a model of the serial layer's contract written here.
//
// The serial layer takes one byte per read() by design, and the waits run
// for real time; either would cap this target at a few thousand inputs a
// second. So this target serves the line's reads from the script, and the
// waits run on the target's own clock (FakeClock.h). poll() sees a pipe
// that holds a byte while the script has events left, is empty once it ran
// out, and whose writer is closed at a hang-up.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "FakeClock.h"
#include "FuzzRoot.h"
#include "PortComm.h"

using fuzz::Expect;

namespace {

enum Kind { kByte, kAgain, kInterrupted, kIoError, kHangUp, kSilence };

struct Event {
    Kind kind;
    char byte;
};

// Every wait's limit; the script is cut so that its error pauses (25 ms
// each) add up to far less, and only a silence or the end of the script
// makes a wait run out.
const int kWaitMs = 8000;
const std::size_t kMaxScript = 512;

std::vector<Event> Parse(const std::uint8_t* data, std::size_t size)
{
    std::vector<Event> events;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != 0xFF || i + 1 == size) {
            events.push_back({kByte, static_cast<char>(data[i])});
            continue;
        }
        const int code = data[++i] % 6;
        events.push_back({code == 5 ? kByte : static_cast<Kind>(code + 1), static_cast<char>(0xFF)});
    }
    return events;
}

// The line as poll() and read() see it.
struct Line {
    int fd = -1;      // the pipe's reading end, as the port
    int writer = -1;  // its writing end; -1 after a hang-up
    std::vector<Event> events;
    std::size_t next = 0;
    bool hungUp = false;

    // A fresh pipe on the same descriptor number for each input.
    bool Reset(std::vector<Event> script)
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        if (fd < 0) {
            fd = ends[0];
        } else {
            dup2(ends[0], fd);
            close(ends[0]);
        }
        if (writer >= 0) {
            close(writer);
        }
        writer = ends[1];
        events = std::move(script);
        next = 0;
        hungUp = false;
        return events.empty() || write(writer, "x", 1) == 1;
    }

    ssize_t Read(void* buffer, size_t count)
    {
        if (hungUp) {
            return 0;
        }
        if (next == events.size() || count == 0) {
            errno = EAGAIN;
            return -1;
        }
        const Event event = events[next++];
        if (next == events.size()) {
            char drained;
            while (syscall(SYS_read, fd, &drained, 1) == 1) {
            }
        }
        switch (event.kind) {
        case kByte: *static_cast<char*>(buffer) = event.byte; return 1;
        case kAgain: errno = EAGAIN; return -1;
        case kInterrupted: errno = EINTR; return -1;
        case kIoError: errno = EIO; return -1;
        case kHangUp:
            hungUp = true;
            close(writer);
            writer = -1;
            return 0;
        case kSilence:
            fakeclock::tNowNs += 4 * static_cast<std::int64_t>(kWaitMs) * 1000000;
            errno = EAGAIN;
            return -1;
        }
        return -1;
    }
};

Line gLine;

// What the serial layer must do with the same script.
class Model {
public:
    explicit Model(const std::vector<Event>& events) : m_events(events) {}

    // A wait ends without success at a silence, a hang-up or the script's
    // end; any other error is passed over.
    bool ReadLine(std::string& line, std::size_t capacity)
    {
        line.clear();
        char byte;
        while (line.size() < capacity && TakeByte(byte)) {
            if (line.empty() && (byte == '\r' || byte == '\n')) {
                continue;
            }
            if (byte == '\r') {
                return true;
            }
            line += byte;
        }
        return false;
    }

    // A byte that breaks a partial match starts the match over after it.
    bool WaitFor(const std::string& text)
    {
        std::size_t matched = 0;
        char byte;
        while (TakeByte(byte)) {
            matched = byte == text[matched] ? matched + 1 : 0;
            if (matched == text.size()) {
                return true;
            }
        }
        return false;
    }

    // Takes bytes up to the first event that is not one, which it takes too.
    void Flush()
    {
        while (!m_hungUp && m_next < m_events.size() && m_events[m_next++].kind == kByte) {
        }
        if (m_next > 0 && m_events[m_next - 1].kind == kHangUp) {
            m_hungUp = true;
        }
    }

    std::size_t Consumed() const { return m_next; }

private:
    // The next byte a wait goes on with, passing over the errors it
    // retries; false when the wait ends there.
    bool TakeByte(char& byte)
    {
        while (!m_hungUp && m_next < m_events.size()) {
            const Event& event = m_events[m_next++];
            m_hungUp = event.kind == kHangUp;
            if (event.kind == kHangUp || event.kind == kSilence) {
                return false;
            }
            if (event.kind == kByte) {
                byte = event.byte;
                return true;
            }
        }
        return false;
    }

    const std::vector<Event>& m_events;
    std::size_t m_next = 0;
    bool m_hungUp = false;
};

// Whether a line read matches the model's: the same bytes (NUL bytes from
// the modem among them), terminated when it was read whole.
bool SameLine(bool got, const char* line, bool expected, const std::string& text)
{
    return got == expected && std::memcmp(line, text.data(), text.size()) == 0 && (!got || line[text.size()] == '\0');
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    if (!fakeclock::tActive || fd != gLine.fd || gLine.fd < 0) {
        return syscall(SYS_read, fd, buffer, count);
    }
    return gLine.Read(buffer, count);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kMaxScript) {
        return 0;
    }
    fuzzroot::Root();
    if (!gLine.Reset(Parse(data, size))) {
        return 0;
    }
    Model model(gLine.events);
    std::string expected;
    const fakeclock::Instant instant;

    // A guard byte after the buffer must survive every read.
    char line[257];
    line[256] = 0x5A;
    bool got = PortReadLine(gLine.fd, line, 256, kWaitMs);
    Expect(SameLine(got, line, model.ReadLine(expected, 256), expected) && gLine.next == model.Consumed());
    Expect(PortWaitFor(gLine.fd, "OK\r", kWaitMs) == model.WaitFor("OK\r") && gLine.next == model.Consumed());
    Expect(PortWaitFor(gLine.fd, "OK", kWaitMs) == model.WaitFor("OK") && gLine.next == model.Consumed());
    std::memset(line, 0, 256);
    got = PortReadLine(gLine.fd, line, 256, kWaitMs);
    Expect(SameLine(got, line, model.ReadLine(expected, 256), expected) && gLine.next == model.Consumed());
    Expect(!got || strnlen(line, 256) < 256);  // a whole line is always terminated
    Expect(line[256] == 0x5A);
    PortFlush(gLine.fd);
    model.Flush();
    Expect(gLine.next == model.Consumed());
    return 0;
}
