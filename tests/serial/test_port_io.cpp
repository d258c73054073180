// Opening, line setup, sends, single reads and flushes of the serial layer, with their messages.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

#include "LogCapture.h"
#include "PtyPair.h"

using testsupport::LogCapture;
using testsupport::PtyPair;
using testsupport::TempDir;

namespace {

// Points MODEMDIAG_SYSROOT at a folder while it lives.
class SystemRoot {
public:
    explicit SystemRoot(const std::string& path) { setenv("MODEMDIAG_SYSROOT", path.c_str(), 1); }
    ~SystemRoot() { unsetenv("MODEMDIAG_SYSROOT"); }
};

// A descriptor number that is certainly not open.
int ClosedFd()
{
    const int fd = dup(0);
    close(fd);
    return fd;
}

TEST(PortOpen, ResolvesUnderTheSystemRootAndOpensNonBlocking)
{
    PtyPair pty;
    TempDir root;
    ASSERT_EQ(0, mkdir(root.file("dev").c_str(), 0755));
    ASSERT_EQ(0, symlink(pty.path().c_str(), root.file("dev/ttySM0").c_str()));
    SystemRoot sysroot(root.path());

    const HANDLE port = PortOpen("/dev/ttySM0");
    ASSERT_GE(port, 0);
    const int flags = fcntl(port, F_GETFL);
    EXPECT_EQ(O_RDWR, flags & O_ACCMODE);
    EXPECT_NE(0, flags & O_NONBLOCK);
    // It is the pty: what the modem end sends shows up here.
    pty.send("ping");
    char got[4];
    EXPECT_EQ(4, PortRead(port, 4, got));
    EXPECT_EQ(TRUE, PortClose(port));
}

TEST(PortMessages, EachFailureReportsItsOwnLine)
{
    TempDir emptyRoot;
    int pipeFds[2];
    ASSERT_EQ(0, pipe(pipeFds));
    LogCapture log;
    char byte;
    {
        SystemRoot sysroot(emptyRoot.path());
        EXPECT_EQ(-1, PortOpen("/dev/ttySM9"));
    }
    EXPECT_EQ(FALSE, PortClose(ClosedFd()));
    EXPECT_EQ(FALSE, PortSetup(pipeFds[0]));
    EXPECT_EQ(FALSE, PortRestoreSetup(pipeFds[0]));
    EXPECT_EQ(-1, PortWrite(ClosedFd(), 1, "x"));
    EXPECT_EQ(-1, PortRead(ClosedFd(), 1, &byte));
    close(pipeFds[0]);
    close(pipeFds[1]);

    // Messages keep the path as given, not the one under the system root.
    const std::vector<std::string> expected = {
        "Tessaly Modem Diagnostics: Unable to open serial device /dev/ttySM9",
        "Tessaly Modem Diagnostics: Error closing port",
        "Tessaly Modem Diagnostics: Failed to set up port",
        "Tessaly Modem Diagnostics: Failed to restore port settings",
        "Tessaly Modem Diagnostics: Error writing to modem device",
        "Tessaly Modem Diagnostics: Error reading from device: Bad file descriptor",
    };
    EXPECT_EQ(expected, log.lines());
}

TEST(PortSetup, AppliesRawLineSettingsAndKeepsTheOldOnes)
{
    PtyPair pty;
    struct termios cooked;
    ASSERT_EQ(0, tcgetattr(pty.port(), &cooked));
    cooked.c_lflag |= ICANON | ECHO;
    cfsetspeed(&cooked, B9600);
    ASSERT_EQ(0, tcsetattr(pty.port(), TCSANOW, &cooked));

    EXPECT_EQ(TRUE, PortSetup(pty.port()));
    struct termios now;
    ASSERT_EQ(0, tcgetattr(pty.port(), &now));
    EXPECT_EQ(static_cast<tcflag_t>(B57600 | CRTSCTS | CS8 | CLOCAL | CREAD), now.c_cflag);
    EXPECT_EQ(0x800018B1u, now.c_cflag);
    EXPECT_EQ(static_cast<tcflag_t>(IGNPAR), now.c_iflag);
    EXPECT_EQ(0u, now.c_oflag);
    EXPECT_EQ(0u, now.c_lflag);
    EXPECT_EQ(1, now.c_cc[VTIME]);
    EXPECT_EQ(0, now.c_cc[VMIN]);
    EXPECT_EQ(0, now.c_cc[VINTR]);
    EXPECT_NE(0u, gOldtio.c_lflag & ICANON);
    EXPECT_EQ(static_cast<speed_t>(B9600), cfgetospeed(&gOldtio));

    EXPECT_EQ(TRUE, PortRestoreSetup(pty.port()));
    ASSERT_EQ(0, tcgetattr(pty.port(), &now));
    EXPECT_NE(0u, now.c_lflag & ICANON);
}

TEST(PortSetup, OnSomethingNotATtyFailsAndKeepsTheSavedSettings)
{
    std::memset(&gOldtio, 0x5A, sizeof gOldtio);
    const struct termios before = gOldtio;
    LogCapture log;
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("plain"), "");
    const HANDLE file = PortOpen(dir.file("plain").c_str());
    ASSERT_GE(file, 0);

    EXPECT_EQ(FALSE, PortSetup(file));
    EXPECT_EQ(0, std::memcmp(&before, &gOldtio, sizeof before));
    EXPECT_EQ(std::vector<std::string>{"Tessaly Modem Diagnostics: Failed to set up port"}, log.lines());
    PortClose(file);
}

TEST(PortPrintf, SendsAtMost255Bytes)
{
    PtyPair pty;
    const std::string text(300, 'x');
    EXPECT_EQ(255, PortPrintf(pty.port(), "%s", text.c_str()));
    EXPECT_EQ(text.substr(0, 255), pty.written());
    EXPECT_EQ(5, PortPrintf(pty.port(), "at%s\r", "e0"));
    EXPECT_EQ("ate0\r", pty.written());
}

TEST(PortPrintf, AShortOrFailedWriteGivesMinusOne)
{
    // A file size limit makes write() stop short of the text.
    TempDir dir;
    const int fd = open(dir.file("out").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    struct rlimit saved;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    struct rlimit small = saved;
    small.rlim_cur = 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    const int shortResult = PortPrintf(fd, "%s", std::string(200, 'y').c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    close(fd);

    EXPECT_EQ(-1, shortResult);
    EXPECT_EQ(100u, testsupport::readFile(dir.file("out")).size());
    EXPECT_EQ(-1, PortPrintf(ClosedFd(), "ath\r"));
}

TEST(PortRead, NothingPendingIsSilent)
{
    PtyPair pty;
    LogCapture log;
    char byte;
    EXPECT_EQ(-1, PortRead(pty.port(), 1, &byte));
    EXPECT_EQ(EAGAIN, errno);
    EXPECT_EQ("", log.text());
}

TEST(PortFlush, DiscardsWhatIsPendingAndNeverWaits)
{
    PtyPair pty;
    LogCapture log;
    EXPECT_EQ(TRUE, PortFlush(pty.port()));

    pty.send("\r\nOK\r\nleft over");
    EXPECT_EQ(TRUE, PortFlush(pty.port()));
    EXPECT_EQ("", pty.pending());
    EXPECT_EQ("", log.text());
}

}  // namespace
