// Opening, line setup, sends, single reads and flushes of the serial layer, with their messages.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

#include "LogCapture.h"
#include "PtyPair.h"

using testsupport::LogCapture;
using testsupport::PtyPair;
using testsupport::TempDir;

namespace {

// A descriptor number that is certainly not open.
int ClosedFd()
{
    const int fd = dup(0);
    close(fd);
    return fd;
}

TEST(PortOpen, ResolvesUnderTheSystemRootAndStaysNonBlocking)
{
    PtyPair pty;
    TempDir root;
    ASSERT_EQ(0, mkdir(root.file("dev").c_str(), 0755));
    ASSERT_EQ(0, symlink(pty.path().c_str(), root.file("dev/ttySM0").c_str()));
    setenv("MODEMDIAG_SYSROOT", root.path().c_str(), 1);
    const HANDLE port = PortOpen("/dev/ttySM0");
    unsetenv("MODEMDIAG_SYSROOT");
    ASSERT_GE(port, 0);
    EXPECT_EQ(O_RDWR | O_NONBLOCK, fcntl(port, F_GETFL) & (O_ACCMODE | O_NONBLOCK));
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
    std::memset(&gOldtio, 0x5A, sizeof gOldtio);
    const struct termios savedBefore = gOldtio;
    LogCapture log;
    char byte;
    setenv("MODEMDIAG_SYSROOT", emptyRoot.path().c_str(), 1);
    EXPECT_EQ(-1, PortOpen("/dev/ttySM9"));
    unsetenv("MODEMDIAG_SYSROOT");
    EXPECT_EQ(FALSE, PortClose(ClosedFd()));
    EXPECT_EQ(FALSE, PortSetup(pipeFds[0]));
    EXPECT_EQ(FALSE, PortRestoreSetup(pipeFds[0]));
    EXPECT_EQ(-1, PortWrite(ClosedFd(), 1, "x"));
    EXPECT_EQ(-1, PortPrintf(ClosedFd(), "ath\r"));
    EXPECT_EQ(-1, PortRead(ClosedFd(), 1, &byte));
    close(pipeFds[0]);
    close(pipeFds[1]);
    EXPECT_EQ(0, std::memcmp(&savedBefore, &gOldtio, sizeof savedBefore));

    // The path stays as given, not the one under the system root.
    const std::vector<std::string> expected = {
        "Tessaly Modem Diagnostics: Unable to open serial device /dev/ttySM9",
        "Tessaly Modem Diagnostics: Error closing port",
        "Tessaly Modem Diagnostics: Failed to set up port",
        "Tessaly Modem Diagnostics: Failed to restore port settings",
        "Tessaly Modem Diagnostics: Error writing to modem device",
        "Tessaly Modem Diagnostics: Error writing to modem device",
        "Tessaly Modem Diagnostics: Error reading from device: Bad file descriptor",
    };
    EXPECT_EQ(expected, log.lines());
}

TEST(PortSetup, AppliesRawLineSettingsAndSavesTheOldOnes)
{
    PtyPair pty;
    struct termios settings;
    ASSERT_EQ(0, tcgetattr(pty.port(), &settings));
    settings.c_lflag |= ICANON | ECHO;
    cfsetspeed(&settings, B9600);
    ASSERT_EQ(0, tcsetattr(pty.port(), TCSANOW, &settings));

    EXPECT_EQ(TRUE, PortSetup(pty.port()));
    ASSERT_EQ(0, tcgetattr(pty.port(), &settings));
    EXPECT_EQ(0x800018B1u, settings.c_cflag);  // B57600 | CRTSCTS | CS8 | CLOCAL | CREAD
    EXPECT_EQ(static_cast<tcflag_t>(IGNPAR), settings.c_iflag);
    EXPECT_EQ(0u, settings.c_oflag | settings.c_lflag);
    EXPECT_EQ(1, settings.c_cc[VTIME]);
    EXPECT_EQ(0, settings.c_cc[VMIN] | settings.c_cc[VINTR] | settings.c_cc[VEOF]);
    EXPECT_EQ(static_cast<speed_t>(B9600), cfgetospeed(&gOldtio));

    EXPECT_EQ(TRUE, PortRestoreSetup(pty.port()));
    ASSERT_EQ(0, tcgetattr(pty.port(), &settings));
    EXPECT_NE(0u, settings.c_lflag & ICANON);
}

TEST(PortPrintf, SendsAtMost255BytesAndCountsAShortWriteAsFailure)
{
    PtyPair pty;
    const std::string text(300, 'x');
    EXPECT_EQ(255, PortPrintf(pty.port(), "%s", text.c_str()));
    EXPECT_EQ(text.substr(0, 255), pty.written());

    // A file size limit makes write() stop after 100 of 200 bytes.
    TempDir dir;
    const int fd = open(dir.file("out").c_str(), O_WRONLY | O_CREAT, 0600);
    struct rlimit saved;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    struct rlimit small = saved;
    small.rlim_cur = 100;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    const int result = PortPrintf(fd, "%s", std::string(200, 'y').c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    close(fd);
    EXPECT_EQ(-1, result);
    EXPECT_EQ(100u, testsupport::readFile(dir.file("out")).size());
}

TEST(PortReadAndFlush, IdleIsSilentAndFlushTakesOnlyWhatIsPending)
{
    PtyPair pty;
    LogCapture log;
    char byte;
    EXPECT_EQ(-1, PortRead(pty.port(), 1, &byte));
    EXPECT_EQ(EAGAIN, errno);
    EXPECT_EQ(TRUE, PortFlush(pty.port()));

    pty.send("\r\nOK\r\nleft over");
    EXPECT_EQ(TRUE, PortFlush(pty.port()));
    EXPECT_EQ("", pty.pending());
    EXPECT_EQ("", log.text());
}

}  // namespace
