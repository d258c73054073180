// Timed waits on a real pseudo-terminal: what matches, what stays unread, when they give up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <sys/resource.h>
#include <thread>

#include "LogCapture.h"
#include "PtyPair.h"

using testsupport::LogCapture;
using testsupport::PtyPair;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

long long ThreadCpuMs()
{
    struct rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000LL +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

struct WaitCase {
    const char* incoming;
    const char* waitFor;
    bool seen;
    const char* unread;
};
void PrintTo(const WaitCase& row, std::ostream* out)
{
    *out << testing::PrintToString(std::string(row.incoming)) << " for " << testing::PrintToString(row.waitFor);
}

class WaitFor : public testing::TestWithParam<WaitCase> {};

TEST_P(WaitFor, ConsumesUpToTheEndOfTheMatchAndNoFurther)
{
    PtyPair pty;
    pty.send(GetParam().incoming);
    EXPECT_EQ(GetParam().seen ? TRUE : FALSE, PortWaitFor(pty.port(), GetParam().waitFor, 100));
    EXPECT_EQ(GetParam().unread, pty.pending());
}

INSTANTIATE_TEST_SUITE_P(Serial, WaitFor,
                         testing::Values(WaitCase{"\r\nOK\r\n", "OK", true, "\r\n"},
                                         WaitCase{"\r\nOK\r\n", "OK\r", true, "\n"},
                                         WaitCase{"noise OK tail", "OK", true, " tail"},
                                         // The second O resets the match; K is then compared with O.
                                         WaitCase{"OOK", "OK", false, ""},
                                         WaitCase{"OOKOK\r\n", "OK", true, "\r\n"},
                                         WaitCase{"\r\nOK", "OK\r", false, ""}));

struct LineCase {
    const char* incoming;
    std::uint32_t capacity;
    bool whole;
    std::string stored;  // bytes in front of the terminator (whole) or of the untouched rest
    const char* unread;
};
void PrintTo(const LineCase& row, std::ostream* out)
{
    *out << testing::PrintToString(std::string(row.incoming)) << " into " << row.capacity;
}

class ReadLine : public testing::TestWithParam<LineCase> {};

TEST_P(ReadLine, StoresOneLineAndLeavesTheRest)
{
    const LineCase& c = GetParam();
    PtyPair pty;
    pty.send(c.incoming);
    char line[32];
    std::memset(line, '#', sizeof line);
    EXPECT_EQ(c.whole ? TRUE : FALSE, PortReadLine(pty.port(), line, c.capacity, 100));
    EXPECT_EQ(c.stored, std::string(line, c.stored.size()));
    // Only a whole line is terminated, or an empty one.
    EXPECT_EQ(c.whole || c.stored.empty() ? '\0' : '#', line[c.stored.size()]);
    EXPECT_EQ(c.unread, pty.pending());
}

INSTANTIATE_TEST_SUITE_P(Serial, ReadLine,
                         testing::Values(LineCase{"\r\n123\r\n", 256, true, "123", "\n"},
                                         LineCase{"1\n2\r", 256, true, "1\n2", ""},
                                         LineCase{"12345\r", 3, false, "123", "45\r"},
                                         LineCase{"\n\r\nabc", 256, false, "abc", ""},
                                         LineCase{"\r\n\r\n", 256, false, "", ""}));

TEST(Waits, NoTimeReadsNothing)
{
    PtyPair pty;
    pty.send("7\r");
    char line[8];
    EXPECT_EQ(FALSE, PortWaitFor(pty.port(), "7", 0));
    EXPECT_EQ(FALSE, PortReadLine(pty.port(), line, sizeof line, 0));
    EXPECT_EQ(FALSE, PortReadLine(pty.port(), line, sizeof line, -5));
    EXPECT_EQ(FALSE, PortReadLine(pty.port(), line, 0, 100));
    EXPECT_EQ("7\r", pty.pending());
}

TEST(Waits, SilentLineGivesUpOnTimeWithoutSpinning)
{
    PtyPair pty;
    LogCapture log;
    char line[16] = "#";
    const long long cpuBefore = ThreadCpuMs();
    const auto start = Clock::now();
    EXPECT_EQ(FALSE, PortWaitFor(pty.port(), "OK", 300));
    EXPECT_GE(MsSince(start), 300);
    EXPECT_EQ(FALSE, PortReadLine(pty.port(), line, sizeof line, 300));
    EXPECT_GE(MsSince(start), 600);
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_LT(ThreadCpuMs() - cpuBefore, 150);  // a polling loop burns all 600 ms
    EXPECT_STREQ("", line);
    EXPECT_EQ("", log.text());
}

TEST(Waits, AByteArrivingMidWaitEndsItAtOnce)
{
    PtyPair pty;
    std::thread modem([&pty] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(4, write(pty.master(), "OK\r\n", 4));
    });
    const auto start = Clock::now();
    EXPECT_EQ(TRUE, PortWaitFor(pty.port(), "OK", 5000));
    EXPECT_LT(MsSince(start), 2500);
    modem.join();
    EXPECT_EQ("\r\n", pty.pending());
}

// A dead line answers every read at once: end-of-file on a hung-up slave,
// EIO on a master whose slave closed. A wait on it must still run to its
// limit, log a bounded number of lines and leave the processor alone.
template <typename Wait>
std::vector<std::string> ExpectQuietDeadWait(Wait wait)
{
    LogCapture log;
    const long long cpuBefore = ThreadCpuMs();
    const auto start = Clock::now();
    EXPECT_EQ(FALSE, wait());
    EXPECT_GE(MsSince(start), 1000);
    EXPECT_LT(MsSince(start), 2500);
    EXPECT_LT(ThreadCpuMs() - cpuBefore, 300);
    EXPECT_LE(log.lines().size(), 50u);
    return log.lines();
}

TEST(DeadLine, HangUpDuringAWaitEndsItOnlyAtTheTimeout)
{
    PtyPair pty;
    std::thread modem([&pty] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.hangUp();
    });
    ExpectQuietDeadWait([&pty] { return PortWaitFor(pty.port(), "OK", 1000); });
    modem.join();
}

TEST(DeadLine, ReadErrorsAreReportedPerAttemptButPaced)
{
    std::string slave;
    const int master = testsupport::OpenMaster(slave, O_NONBLOCK);
    ASSERT_GE(master, 0);
    close(open(slave.c_str(), O_RDWR | O_NOCTTY));
    char line[256];
    const auto lines = ExpectQuietDeadWait([&] { return PortReadLine(master, line, sizeof line, 1000); });
    close(master);
    EXPECT_GE(lines.size(), 2u);
    for (const std::string& text : lines) {
        EXPECT_EQ("Tessaly Modem Diagnostics: Error reading from device: Input/output error", text);
    }
}

}  // namespace
