// PortSetup when the old settings cannot be read: the new ones still go on the line.
#include <gtest/gtest.h>

#include <cerrno>

#include "LogCapture.h"
#include "PtyPair.h"

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

TEST(PortSetupFault, UnreadableOldSettingsStillApplyTheNewOnes)
{
    testsupport::PtyPair pty;
    struct termios settings;
    ASSERT_EQ(0, tcgetattr(pty.port, &settings));
    settings.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(0, tcsetattr(pty.port, TCSANOW, &settings));

    testsupport::LogCapture log;
    gFailTcgetattr = true;
    EXPECT_EQ(FALSE, PortSetup(pty.port));
    gFailTcgetattr = false;
    EXPECT_EQ(std::vector<std::string>{"Tessaly Modem Diagnostics: Failed to set up port"}, log.lines());
    ASSERT_EQ(0, tcgetattr(pty.port, &settings));
    EXPECT_EQ(0x800018B1u, settings.c_cflag);
    EXPECT_EQ(0u, settings.c_lflag);
}
