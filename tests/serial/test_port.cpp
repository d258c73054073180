// The serial layer on real pseudo-terminals: timed waits, line setup, sends, reads, flushes and their messages.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "LogCapture.h"
#include "PortComm.h"

// Linked with --wrap=tcgetattr: every tcgetattr call of this executable
// lands here and can be made to fail.
static bool gFailTcgetattr = false;
extern "C" int __real_tcgetattr(int fd, struct termios* settings);
extern "C" int __wrap_tcgetattr(int fd, struct termios* settings)
{
    if (gFailTcgetattr) {
        errno = EIO;
        return -1;
    }
    return __real_tcgetattr(fd, settings);
}

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Everything fd has to read, taken until 50 ms pass without a byte.
std::string Drain(int fd)
{
    std::string bytes;
    struct pollfd pfd = {fd, POLLIN, 0};
    char chunk[512];
    ssize_t got = 0;
    while (poll(&pfd, 1, 50) > 0 && (got = read(fd, chunk, sizeof chunk)) > 0) {
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    return bytes;
}

// The test plays the modem on the non-blocking master; the code under test
// talks on port, opened with PortOpen and set up with PortSetup like a modem tty.
struct PtyPair {
    PtyPair() : master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        char slave[128];
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, slave, sizeof slave) != 0 ||
            (port = PortOpen(slave)) < 0 || !PortSetup(port)) {
            throw std::runtime_error("no pseudo-terminal to test on");
        }
    }
    ~PtyPair() { close(port); close(master); }
    // The modem sends bytes; returns once the port has them pending.
    void send(const std::string& bytes)
    {
        struct pollfd pfd = {port, POLLIN, 0};
        EXPECT_GT(write(master, bytes.data(), bytes.size()), 0);
        poll(&pfd, 1, 2000);
    }

    int master;
    HANDLE port = -1;
};

TEST(PortWaits, TakeUpToTheMatchOrLineEndAndNoFurther)
{
    // One call on bytes already pending: PortWaitFor(waitFor), or with no
    // waitFor, PortReadLine into capacity bytes.
    const struct {
        const char* incoming;
        const char* waitFor;
        std::uint32_t capacity;
        int timeoutMs;
        BOOL result;
        std::string stored;  // the line's bytes, terminated only when whole or empty
        const char* unread;
    } cases[] = {
        {"noise\r\nOK\r\n", "OK", 0, 100, TRUE, "", "\r\n"},
        {"\r\nOK\r\n", "OK\r", 0, 100, TRUE, "", "\n"},
        // The second O restarts the match and K is compared with O: only the later OK counts.
        {"OOKOK\r\n", "OK", 0, 100, TRUE, "", "\r\n"},
        {"OK\r", "OK", 0, 0, FALSE, "", "OK\r"},
        // "OK" anywhere, with or without line ends; a byte between O and K breaks it.
        {"OK", "OK", 0, 100, TRUE, "", ""},
        {"\x7f\xff O K \r\nOKAY", "OK", 0, 100, TRUE, "", "AY"},
        {"\x01\x02O\xffK\r\n", "OK", 0, 100, FALSE, "", ""},
        {"\n\r\n123\r\n", nullptr, 32, 100, TRUE, "123", "\n"},
        {"1\n2\r", nullptr, 32, 100, TRUE, "1\n2", ""},
        {"12345\r", nullptr, 3, 100, FALSE, "123", "45\r"},
        {"\r\n\r\n", nullptr, 32, 100, FALSE, "", ""},
    };
    for (const auto& c : cases) {
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
        EXPECT_EQ(c.unread, Drain(pty.port));
    }
}

// Runs a wait that must give up after limitMs: not before and not much
// later, asleep rather than polling, with a bounded log, which it returns.
template <typename Wait>
std::vector<std::string> ExpectGivesUpAfter(int limitMs, Wait wait)
{
    testsupport::LogCapture log;
    const std::clock_t cpuBefore = std::clock();
    const auto start = Clock::now();
    EXPECT_EQ(FALSE, wait());
    EXPECT_GE(MsSince(start), limitMs);
    EXPECT_LT(MsSince(start), limitMs + 1500);
    EXPECT_LT((std::clock() - cpuBefore) * 1000 / CLOCKS_PER_SEC, limitMs / 2);
    EXPECT_LE(log.lines().size(), 50u);
    return log.lines();
}

// Quiet waits log nothing and a reply ends one at once. A dead line answers
// every read at once: end-of-file on a slave whose modem end hangs up
// mid-wait, EIO (logged per paced attempt) on a master whose slave closed.
TEST(PortWaits, SleepToTheLimitOnAQuietOrDeadLineAndWakeOnAReply)
{
    PtyPair pty;
    char line[256];
    EXPECT_EQ(0u, ExpectGivesUpAfter(300, [&] { return PortWaitFor(pty.port, "OK", 300); }).size());
    EXPECT_EQ(0u, ExpectGivesUpAfter(300, [&] { return PortReadLine(pty.port, line, sizeof line, 300); }).size());
    std::thread modem([&pty] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(4, write(pty.master, "OK\r\n", 4));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        close(std::exchange(pty.master, -1));
    });
    const auto start = Clock::now();
    EXPECT_EQ(TRUE, PortWaitFor(pty.port, "OK", 5000));
    EXPECT_LT(MsSince(start), 2500);
    ExpectGivesUpAfter(1000, [&] { return PortWaitFor(pty.port, "OK", 1000); });
    modem.join();

    PtyPair slaveGone;
    close(std::exchange(slaveGone.port, -1));
    const auto lines = ExpectGivesUpAfter(1000, [&] { return PortReadLine(slaveGone.master, line, sizeof line, 1000); });
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(lines.size(), "Tessaly Modem Diagnostics: Error reading from device: Input/output error"),
              lines);
}

// Each failure logs its own line (PortOpen's and PortSetup's reach the modem
// tests' golden log); PortRead on an idle line answers EAGAIN, unlogged, and
// a flush takes what is pending (the golden logs show that idle flushes and
// reads log nothing). A port whose input never runs dry (here /dev/zero)
// would hold a flush forever: it stops with one line. An endless flush
// ends the program at the alarm instead of hanging the suite.
TEST(PortMessages, EachFailureReportsItsOwnLine)
{
    PtyPair pty;
    const int notATty = open("/dev/null", O_RDWR);
    const int endless = open("/dev/zero", O_RDONLY | O_NONBLOCK);
    testsupport::LogCapture log;
    char byte;
    EXPECT_EQ(-1, PortRead(pty.port, 1, &byte));
    EXPECT_EQ(EAGAIN, errno);
    pty.send("\r\nOK\r\nleft over");
    EXPECT_EQ(TRUE, PortFlush(pty.port));
    EXPECT_EQ("", Drain(pty.port));

    EXPECT_EQ(FALSE, PortClose(-1));
    EXPECT_EQ(FALSE, PortRestoreSetup(notATty));
    EXPECT_EQ(-1, PortPrintf(-1, "ath\r"));
    alarm(20);
    EXPECT_EQ(TRUE, PortFlush(endless));
    alarm(0);
    close(notATty);
    close(endless);
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ(0u, lines.back().rfind("Tessaly Modem Diagnostics: Port still sending after ", 0)) << lines.back();
    lines.pop_back();
    EXPECT_EQ((std::vector<std::string>{"Tessaly Modem Diagnostics: Error closing port",
                                        "Tessaly Modem Diagnostics: Failed to restore port settings",
                                        "Tessaly Modem Diagnostics: Error writing to modem device"}),
              lines);
}

// PortOpen's descriptor is closed on exec. Raw settings go on a cooked line,
// also when its settings cannot be read (FALSE then); the settings saved
// before stay for PortRestoreSetup. The log is captured to keep the
// failure's message (in the modem tests' golden log) out of the output.
TEST(PortSetup, AppliesRawLineSettingsAndSavesTheOldOnes)
{
    PtyPair pty;
    // Whatever the host starts during a test must not inherit the modem's line.
    EXPECT_NE(0, fcntl(pty.port, F_GETFD) & FD_CLOEXEC);
    struct termios settings;
    for (const bool unreadable : {false, true}) {
        ASSERT_EQ(0, tcgetattr(pty.port, &settings));
        settings.c_lflag |= ICANON | ECHO;
        cfsetspeed(&settings, unreadable ? B2400 : B9600);
        ASSERT_EQ(0, tcsetattr(pty.port, TCSANOW, &settings));
        testsupport::LogCapture log;
        gFailTcgetattr = unreadable;
        EXPECT_EQ(unreadable ? FALSE : TRUE, PortSetup(pty.port));
        gFailTcgetattr = false;
        ASSERT_EQ(0, tcgetattr(pty.port, &settings));
        EXPECT_EQ(0x800018B1u, settings.c_cflag);  // B57600 | CRTSCTS | CS8 | CLOCAL | CREAD
        EXPECT_EQ(static_cast<tcflag_t>(IGNPAR), settings.c_iflag);
        EXPECT_EQ(0u, settings.c_oflag | settings.c_lflag);
        EXPECT_EQ(1, settings.c_cc[VTIME]);
        EXPECT_EQ(0, settings.c_cc[VMIN] | settings.c_cc[VINTR] | settings.c_cc[VEOF]);
    }
    EXPECT_EQ(TRUE, PortRestoreSetup(pty.port));
    ASSERT_EQ(0, tcgetattr(pty.port, &settings));
    EXPECT_EQ(static_cast<speed_t>(B9600), cfgetospeed(&settings));
}

TEST(PortPrintf, SendsAtMost255BytesAndCountsAShortWriteAsFailure)
{
    PtyPair pty;
    const std::string text(300, 'x');
    EXPECT_EQ(255, PortPrintf(pty.port, "%s", text.c_str()));
    EXPECT_EQ(text.substr(0, 255), Drain(pty.master));

    // A file size limit makes write() stop after 100 of 200 bytes.
    const int fd = memfd_create("out", 0);
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

}  // namespace
