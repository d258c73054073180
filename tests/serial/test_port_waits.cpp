// Timed waits on a real pseudo-terminal: what matches, what stays unread, when they give up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
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

// CPU time this thread has used, in milliseconds.
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
    *out << ::testing::PrintToString(std::string(row.incoming)) << " for " << ::testing::PrintToString(std::string(row.waitFor));
}

class WaitFor : public ::testing::TestWithParam<WaitCase> {};

TEST_P(WaitFor, ConsumesUpToTheEndOfTheMatchAndNoFurther)
{
    const WaitCase& c = GetParam();
    PtyPair pty;
    pty.send(c.incoming);
    EXPECT_EQ(c.seen ? TRUE : FALSE, PortWaitFor(pty.port(), c.waitFor, 100));
    EXPECT_EQ(c.unread, pty.pending());
}

INSTANTIATE_TEST_SUITE_P(Serial, WaitFor,
                         ::testing::Values(WaitCase{"\r\nOK\r\n", "OK", true, "\r\n"},
                                           WaitCase{"\r\nOK\r\n", "OK\r", true, "\n"},
                                           WaitCase{"noise OK tail", "OK", true, " tail"},
                                           // The second O resets the match; K is then compared with O.
                                           WaitCase{"OOK", "OK", false, ""},
                                           WaitCase{"OOKOK\r\n", "OK", true, "\r\n"},
                                           WaitCase{"\r\nERROR\r\n", "OK", false, ""},
                                           WaitCase{"\r\nOK", "OK\r", false, ""}));

TEST(WaitForTimeout, ZeroReadsNothing)
{
    PtyPair pty;
    pty.send("OK");
    EXPECT_EQ(FALSE, PortWaitFor(pty.port(), "OK", 0));
    EXPECT_EQ("OK", pty.pending());
}

TEST(WaitForTimeout, SilentLineGivesUpOnTimeWithoutSpinning)
{
    PtyPair pty;
    LogCapture log;
    char line[16];
    std::memset(line, '#', sizeof line);

    const long long cpuBefore = ThreadCpuMs();
    auto start = Clock::now();
    EXPECT_EQ(FALSE, PortWaitFor(pty.port(), "OK", 300));
    const long long waited = MsSince(start);
    start = Clock::now();
    EXPECT_EQ(FALSE, PortReadLine(pty.port(), line, sizeof line, 300));
    const long long readFor = MsSince(start);
    const long long cpu = ThreadCpuMs() - cpuBefore;

    EXPECT_GE(waited, 300);
    EXPECT_LT(waited, 1500);
    EXPECT_GE(readFor, 300);
    EXPECT_LT(readFor, 1500);
    EXPECT_STREQ("", line);
    // A polling loop would burn the whole 600 ms.
    EXPECT_LT(cpu, 150);
    EXPECT_EQ("", log.text());
}

TEST(WaitForTimeout, AByteArrivingMidWaitEndsItAtOnce)
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

struct LineCase {
    const char* incoming;
    std::uint32_t capacity;
    bool whole;
    std::string stored;  // bytes stored in the buffer, in front of its terminator if whole
    const char* unread;
};

void PrintTo(const LineCase& row, std::ostream* out)
{
    *out << ::testing::PrintToString(std::string(row.incoming)) << " into " << row.capacity << " bytes";
}

class ReadLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ReadLine, StoresOneLineAndLeavesTheRest)
{
    const LineCase& c = GetParam();
    PtyPair pty;
    pty.send(c.incoming);
    char line[32];
    std::memset(line, '#', sizeof line);

    EXPECT_EQ(c.whole ? TRUE : FALSE, PortReadLine(pty.port(), line, c.capacity, 100));
    EXPECT_EQ(c.stored, std::string(line, c.stored.size()));
    // A whole line is terminated; a cut one is not, unless nothing was stored.
    const char after = c.whole || c.stored.empty() ? '\0' : '#';
    EXPECT_EQ(after, line[c.stored.size()]);
    EXPECT_EQ(c.unread, pty.pending());
}

INSTANTIATE_TEST_SUITE_P(Serial, ReadLine,
                         ::testing::Values(LineCase{"\r\n123\r\n", 256, true, "123", "\n"},
                                           LineCase{"1\n2\r", 256, true, "1\n2", ""},
                                           LineCase{"12345\r", 3, false, "123", "45\r"},
                                           LineCase{"\n\r\nabc", 256, false, "abc", ""},
                                           LineCase{"\r\n\r\n", 256, false, "", ""},
                                           LineCase{"", 256, false, "", ""}));

TEST(ReadLineSequence, TheNextLineDropsTheFeedTheLastOneLeft)
{
    PtyPair pty;
    pty.send("\r\n000\r\n\r\nOK\r\n");
    char line[256];
    ASSERT_EQ(TRUE, PortReadLine(pty.port(), line, sizeof line, 100));
    EXPECT_STREQ("000", line);
    ASSERT_EQ(TRUE, PortReadLine(pty.port(), line, sizeof line, 100));
    EXPECT_STREQ("OK", line);
    EXPECT_EQ("\n", pty.pending());
}

TEST(ReadLineSequence, NoCapacityOrNoTimeReadsNothing)
{
    PtyPair pty;
    pty.send("7\r");
    char line[8] = "xyz";
    EXPECT_EQ(FALSE, PortReadLine(pty.port(), line, 0, 100));
    EXPECT_STREQ("xyz", line);
    EXPECT_EQ(FALSE, PortReadLine(pty.port(), line, sizeof line, -5));
    EXPECT_EQ(FALSE, PortReadLine(pty.port(), line, sizeof line, 0));
    EXPECT_EQ("7\r", pty.pending());
}

// A line that is gone answers every read at once (end-of-file on a hung-up
// slave, EIO on a master whose slave closed). The wait must still run to its
// time, log a bounded number of lines and leave the processor alone.
struct DeadWait {
    BOOL result;
    long long elapsedMs;
    long long cpuMs;
    std::vector<std::string> lines;
};

template <typename Wait>
DeadWait RunDeadWait(Wait wait)
{
    LogCapture log;
    const long long cpuBefore = ThreadCpuMs();
    const auto start = Clock::now();
    DeadWait outcome;
    outcome.result = wait();
    outcome.elapsedMs = MsSince(start);
    outcome.cpuMs = ThreadCpuMs() - cpuBefore;
    outcome.lines = log.lines();
    return outcome;
}

TEST(DeadLine, HangUpDuringAWaitEndsItOnlyAtTheTimeout)
{
    PtyPair pty;
    std::thread modem([&pty] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.hangUp();
    });
    const DeadWait outcome = RunDeadWait([&pty] { return PortWaitFor(pty.port(), "OK", 1000); });
    modem.join();

    EXPECT_EQ(FALSE, outcome.result);
    EXPECT_GE(outcome.elapsedMs, 1000);
    EXPECT_LT(outcome.elapsedMs, 2500);
    EXPECT_LT(outcome.cpuMs, 300);
    EXPECT_LE(outcome.lines.size(), 50u);
}

TEST(DeadLine, ReadErrorsAreReportedPerAttemptButPaced)
{
    // The master end of a pty whose slave has closed fails every read with EIO.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    char name[128];
    ASSERT_EQ(0, grantpt(master));
    ASSERT_EQ(0, unlockpt(master));
    ASSERT_EQ(0, ptsname_r(master, name, sizeof name));
    close(open(name, O_RDWR | O_NOCTTY));

    char line[256];
    const DeadWait outcome = RunDeadWait([&] { return PortReadLine(master, line, sizeof line, 1000); });
    close(master);

    EXPECT_EQ(FALSE, outcome.result);
    EXPECT_GE(outcome.elapsedMs, 1000);
    EXPECT_LT(outcome.elapsedMs, 2500);
    EXPECT_LT(outcome.cpuMs, 300);
    ASSERT_GE(outcome.lines.size(), 2u);
    EXPECT_LE(outcome.lines.size(), 50u);
    for (const std::string& text : outcome.lines) {
        EXPECT_EQ("Tessaly Modem Diagnostics: Error reading from device: Input/output error", text);
    }
}

}  // namespace
