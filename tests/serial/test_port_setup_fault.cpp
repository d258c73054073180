// PortSetup when the old settings cannot be read: the new ones still go on the line.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "LogCapture.h"
#include "PtyPair.h"

// This executable links with --wrap=tcgetattr, so every tcgetattr call in it
// lands here and can be made to fail.
namespace {
bool gFailTcgetattr = false;
}

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

TEST(PortSetupFault, UnreadableOldSettingsStillApplyTheNewOnes)
{
    testsupport::PtyPair pty;
    struct termios cooked;
    ASSERT_EQ(0, tcgetattr(pty.port(), &cooked));
    cooked.c_lflag |= ICANON | ECHO;
    cooked.c_iflag |= ICRNL;
    ASSERT_EQ(0, tcsetattr(pty.port(), TCSANOW, &cooked));
    std::memset(&gOldtio, 0x5A, sizeof gOldtio);
    const struct termios before = gOldtio;

    testsupport::LogCapture log;
    gFailTcgetattr = true;
    const BOOL result = PortSetup(pty.port());
    gFailTcgetattr = false;

    EXPECT_EQ(FALSE, result);
    EXPECT_EQ(std::vector<std::string>{"Tessaly Modem Diagnostics: Failed to set up port"}, log.lines());
    EXPECT_EQ(0, std::memcmp(&before, &gOldtio, sizeof before));
    struct termios now;
    ASSERT_EQ(0, tcgetattr(pty.port(), &now));
    EXPECT_EQ(0x800018B1u, now.c_cflag);
    EXPECT_EQ(static_cast<tcflag_t>(IGNPAR), now.c_iflag);
    EXPECT_EQ(0u, now.c_lflag);
}

}  // namespace
