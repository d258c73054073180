// The virtual modem where its faults would hide the plug-in's: answers, echo, order, timing, hang-up.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "VirtualModem.h"

const std::string kOk = "\r\nOK\r\n";

TEST(SimModem, AnswersInTurnLateWhenToldAndHangsUp)
{
    modemsim::ModemProfile profile;
    profile.answer("H", modemsim::When::InSelfTest).info = "012";
    profile.faults["at&t8"].delayMs = 400;
    profile.faults["atz"].hangUp = true;
    modemsim::VirtualModem modem(profile);
    // The plug-in's end of the line, with plain descriptor calls.
    const int fd = open(modem.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const auto send = [fd](const std::string& text) { return write(fd, text.data(), text.size()) > 0; };
    // What the modem sends, until count bytes, end-of-file or timeoutMs without a byte.
    const auto read = [fd](std::size_t count, int timeoutMs = 2000) {
        std::string bytes;
        char byte;
        struct pollfd pfd = {fd, POLLIN, 0};
        while (bytes.size() < count && poll(&pfd, 1, timeoutMs) > 0 && ::read(fd, &byte, 1) == 1) {
            bytes += byte;
        }
        return bytes;
    };
    const std::pair<std::string, std::string> dialogue[] = {
        // Echo on at first; several commands on a line, any case.
        {"aTe0I3\r", "aTe0I3\r\r\nTessaly Parlance V.92 Version 3.5.22\r\n" + kOk},
        {"at&f0\r", kOk},                      // no echo after E0; a reset turns it back on from the next line
        {"ate0\r", "ate0\r" + kOk},
    };
    for (const auto& [line, answer] : dialogue) {
        EXPECT_TRUE(send(line));
        EXPECT_EQ(answer, read(answer.size())) << "after " << line;
    }

    // The late answer to &T8 holds back the lines behind it; the self test's
    // count comes with the first H after it and only then.
    EXPECT_TRUE(send("at&t8\rath\rath\r"));
    EXPECT_EQ("", read(1, 300)) << "the late answer came early";
    const std::string answers = kOk + "\r\n012\r\n" + kOk + kOk;
    EXPECT_EQ(answers, read(answers.size()));

    // No answer after the hang-up, nothing more before it: end-of-file at once.
    EXPECT_TRUE(send("atz\r"));
    EXPECT_EQ("", read(1));
    struct pollfd pfd = {fd, POLLIN, 0};
    EXPECT_EQ(1, poll(&pfd, 1, 0));
    EXPECT_NE(0, pfd.revents & POLLHUP);
    close(fd);
}
