// The serial layer on real pseudo-terminals: timed waits, line setup, sends, reads, flushes and their messages.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <thread>
#include <utility>

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

TEST(PortWaits, TakeUpToTheMatchOrLineEndAndNoFurther)
{
    // One call on bytes already pending: PortWaitFor(waitFor), or with no
    // waitFor, PortReadLine into capacity bytes.
    struct Case {
        const char* incoming;
        const char* waitFor;
        std::uint32_t capacity;
        int timeoutMs;
        BOOL result;
        std::string stored;  // the line's bytes, terminated only when whole or empty
        const char* unread;
    };
    const Case cases[] = {
        {"noise\r\nOK\r\n", "OK", 0, 100, TRUE, "", "\r\n"},
        {"\r\nOK\r\n", "OK\r", 0, 100, TRUE, "", "\n"},
        // The second O restarts the match and K is compared with O: only the later OK counts.
        {"OOKOK\r\n", "OK", 0, 100, TRUE, "", "\r\n"},
        {"OK\r", "OK", 0, 0, FALSE, "", "OK\r"},
        {"\n\r\n123\r\n", nullptr, 32, 100, TRUE, "123", "\n"},
        {"1\n2\r", nullptr, 32, 100, TRUE, "1\n2", ""},
        {"12345\r", nullptr, 3, 100, FALSE, "123", "45\r"},
        {"\r\n\r\n", nullptr, 32, 100, FALSE, "", ""},
        {"", nullptr, 32, 100, FALSE, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.incoming)));
        PtyPair pty;
        pty.send(c.incoming);
        char line[32];
        std::memset(line, '#', sizeof line);
        if (c.waitFor != nullptr) {
            EXPECT_EQ(c.result, PortWaitFor(pty.port, c.waitFor, c.timeoutMs));
        } else {
            EXPECT_EQ(c.result, PortReadLine(pty.port, line, c.capacity, c.timeoutMs));
            EXPECT_EQ(c.stored, std::string(line, c.stored.size()));
            EXPECT_EQ(c.result || c.stored.empty() ? '\0' : '#', line[c.stored.size()]);
        }
        EXPECT_EQ(c.unread, pty.pending());
    }
}

// Runs a wait that must give up after limitMs: not before and not much
// later, asleep rather than polling, and with a bounded number of log lines,
// which it returns.
template <typename Wait>
std::vector<std::string> ExpectGivesUpAfter(int limitMs, Wait wait)
{
    LogCapture log;
    const std::clock_t cpuBefore = std::clock();
    const auto start = Clock::now();
    EXPECT_EQ(FALSE, wait());
    EXPECT_GE(MsSince(start), limitMs);
    EXPECT_LT(MsSince(start), limitMs + 1500);
    EXPECT_LT((std::clock() - cpuBefore) * 1000 / CLOCKS_PER_SEC, limitMs / 2);
    EXPECT_LE(log.lines().size(), 50u);
    return log.lines();
}

TEST(PortWaits, OnAQuietLineSleepToTheLimitAndAByteEndsThemAtOnce)
{
    PtyPair pty;
    char line[16];
    EXPECT_EQ(0u, ExpectGivesUpAfter(300, [&] { return PortWaitFor(pty.port, "OK", 300); }).size());
    EXPECT_EQ(0u, ExpectGivesUpAfter(300, [&] { return PortReadLine(pty.port, line, sizeof line, 300); }).size());

    std::thread modem([&pty] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(4, write(pty.master, "OK\r\n", 4));
    });
    const auto start = Clock::now();
    EXPECT_EQ(TRUE, PortWaitFor(pty.port, "OK", 5000));
    EXPECT_LT(MsSince(start), 2500);
    modem.join();
}

// A dead line answers every read at once: end-of-file on a slave whose modem
// end went away, EIO (logged per attempt) on a master whose slave closed.
TEST(PortWaits, OnADeadLineRunToTheLimitWithPacedMessages)
{
    PtyPair hungUp;
    std::thread modem([&hungUp] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        close(std::exchange(hungUp.master, -1));
    });
    ExpectGivesUpAfter(1000, [&] { return PortWaitFor(hungUp.port, "OK", 1000); });
    modem.join();

    PtyPair slaveGone;
    close(std::exchange(slaveGone.port, -1));
    char line[256];
    const auto lines = ExpectGivesUpAfter(1000, [&] { return PortReadLine(slaveGone.master, line, sizeof line, 1000); });
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(lines.size(), "Tessaly Modem Diagnostics: Error reading from device: Input/output error"),
              lines);
}

TEST(PortMessages, EachFailureReportsItsOwnLine)
{
    const int notATty = open("/dev/null", O_RDWR);
    std::memset(&gOldtio, 0x5A, sizeof gOldtio);
    const struct termios savedBefore = gOldtio;
    LogCapture log;
    char byte;
    EXPECT_EQ(-1, PortOpen("/dev/no-such-tty"));
    EXPECT_EQ(FALSE, PortClose(-1));
    EXPECT_EQ(FALSE, PortSetup(notATty));
    EXPECT_EQ(FALSE, PortRestoreSetup(notATty));
    EXPECT_EQ(-1, PortPrintf(-1, "ath\r"));
    EXPECT_EQ(-1, PortRead(-1, 1, &byte));
    close(notATty);
    // Settings that could not be read leave the last saved ones for PortRestoreSetup.
    EXPECT_EQ(0, std::memcmp(&savedBefore, &gOldtio, sizeof savedBefore));
    const std::vector<std::string> expected = {
        "Tessaly Modem Diagnostics: Unable to open serial device /dev/no-such-tty",
        "Tessaly Modem Diagnostics: Error closing port",
        "Tessaly Modem Diagnostics: Failed to set up port",
        "Tessaly Modem Diagnostics: Failed to restore port settings",
        "Tessaly Modem Diagnostics: Error writing to modem device",
        "Tessaly Modem Diagnostics: Error reading from device: Bad file descriptor",
    };
    EXPECT_EQ(expected, log.lines());
}

TEST(PortSetup, AppliesRawLineSettingsAndSavesTheOldOnes)
{
    PtyPair pty;
    struct termios settings;
    ASSERT_EQ(0, tcgetattr(pty.port, &settings));
    settings.c_lflag |= ICANON | ECHO;
    cfsetspeed(&settings, B9600);
    ASSERT_EQ(0, tcsetattr(pty.port, TCSANOW, &settings));

    EXPECT_EQ(TRUE, PortSetup(pty.port));
    ASSERT_EQ(0, tcgetattr(pty.port, &settings));
    EXPECT_EQ(0x800018B1u, settings.c_cflag);  // B57600 | CRTSCTS | CS8 | CLOCAL | CREAD
    EXPECT_EQ(static_cast<tcflag_t>(IGNPAR), settings.c_iflag);
    EXPECT_EQ(0u, settings.c_oflag | settings.c_lflag);
    EXPECT_EQ(1, settings.c_cc[VTIME]);
    EXPECT_EQ(0, settings.c_cc[VMIN] | settings.c_cc[VINTR] | settings.c_cc[VEOF]);
    EXPECT_EQ(static_cast<speed_t>(B9600), cfgetospeed(&gOldtio));

    EXPECT_EQ(TRUE, PortRestoreSetup(pty.port));
    ASSERT_EQ(0, tcgetattr(pty.port, &settings));
    EXPECT_NE(0u, settings.c_lflag & ICANON);
}

TEST(PortPrintf, SendsAtMost255BytesAndCountsAShortWriteAsFailure)
{
    PtyPair pty;
    const std::string text(300, 'x');
    EXPECT_EQ(255, PortPrintf(pty.port, "%s", text.c_str()));
    EXPECT_EQ(text.substr(0, 255), pty.written());

    // A file size limit makes write() stop after 100 of 200 bytes.
    testsupport::TempDir dir;
    const int fd = open(dir.file("out").c_str(), O_WRONLY | O_CREAT, 0600);
    struct rlimit saved;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    const struct rlimit small = {100, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);  // so that write() answers with what it wrote
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    const int result = PortPrintf(fd, "%s", text.c_str() + 100);
    setrlimit(RLIMIT_FSIZE, &saved);
    close(fd);
    EXPECT_EQ(-1, result);
}

TEST(PortReadAndFlush, IdleIsSilentAndFlushTakesOnlyWhatIsPending)
{
    PtyPair pty;
    LogCapture log;
    char byte;
    EXPECT_EQ(-1, PortRead(pty.port, 1, &byte));
    EXPECT_EQ(EAGAIN, errno);
    EXPECT_EQ(TRUE, PortFlush(pty.port));

    pty.send("\r\nOK\r\nleft over");
    EXPECT_EQ(TRUE, PortFlush(pty.port));
    EXPECT_EQ("", pty.pending());
    EXPECT_EQ("", log.text());
}

}  // namespace
