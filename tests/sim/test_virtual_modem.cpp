// The virtual modem where its faults would hide the plug-in's: answers, echo, order, timing, hang-up.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "PortComm.h"
#include "VirtualModem.h"

using modemsim::ModemProfile;
using modemsim::VirtualModem;

namespace {

using Clock = std::chrono::steady_clock;
long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

const std::string kId = "\r\nTessaly Parlance V.92 Version 3.5.22\r\n";
const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

// The plug-in's end of the line, with plain descriptor calls.
struct Client {
    explicit Client(const VirtualModem& modem) : fd(open(modem.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~Client() { close(fd); }
    void send(const std::string& text) { EXPECT_EQ(static_cast<ssize_t>(text.size()), write(fd, text.data(), text.size())); }
    // What the modem sends, until count bytes have come or timeoutMs passed.
    std::string read(std::size_t count, int timeoutMs = 2000)
    {
        std::string bytes;
        const auto start = Clock::now();
        struct pollfd pfd = {fd, POLLIN, 0};
        char chunk[256];
        while (bytes.size() < count && MsSince(start) < timeoutMs) {
            const ssize_t got = poll(&pfd, 1, 20) > 0 ? ::read(fd, chunk, std::min(sizeof chunk, count - bytes.size())) : -1;
            if (got == 0) {
                break;
            }
            bytes.append(chunk, got > 0 ? static_cast<std::size_t>(got) : 0);
        }
        return bytes;
    }
    int fd;
};

struct Conversation {
    const char* name;
    std::function<void(ModemProfile&)> shape;
    std::vector<std::pair<std::string, std::string>> lines;  // line sent, everything answered
};
void PrintTo(const Conversation& row, std::ostream* out)
{
    *out << row.name;
}

class Dialogue : public testing::TestWithParam<Conversation> {};

TEST_P(Dialogue, AnswersEachLineInTurn)
{
    ModemProfile profile;
    profile.noDialToneDelayMs = 100;
    GetParam().shape(profile);
    VirtualModem modem(profile);
    Client client(modem);
    for (const auto& [line, answer] : GetParam().lines) {
        client.send(line);
        EXPECT_EQ(answer, client.read(answer.size())) << "after " << line;
    }
    EXPECT_EQ("", client.read(1, 100)) << "nothing more";
}

// The self test's count line comes with the first H after &T8, not later.
Conversation SelfTest(const char* name, std::function<void(ModemProfile&)> shape, const std::string& count)
{
    return {name, shape, {{"ate0\r", "ate0\r" + kOk}, {"at&t8\r", kOk}, {"ath\r", count + kOk}, {"ath\r", kOk}}};
}

const Conversation kConversations[] = {
    {"EchoUntilE0AndAgainAfterFactoryReset",
     [](ModemProfile&) {},
     {{"at&f0\r", "at&f0\r" + kOk}, {"ate0\r", "ate0\r" + kOk}, {"ati3\r", kId + kOk}, {"AT&F\r", kOk}, {"at\r", "at\r" + kOk}}},
    {"SeveralCommandsOnOneLineInAnyCase", [](ModemProfile&) {}, {{"aTe0I3\r", "aTe0I3\r" + kId + kOk}, {"atx4d;\r", kOk}}},
    {"UnknownCommandsAnswerErrorAfterEarlierInformation",
     [](ModemProfile&) {},
     {{"ate0\r", "ate0\r" + kOk}, {"atq9\r", kError}, {"ati3q9\r", kId + kError}, {"at!\r", kError}, {"hello\r", ""}}},
    {"FaxClassesAndDialTonePerProfile",
     [](ModemProfile& p) {
         p.fclass20 = false;
         p.dialTone = false;
     },
     {{"ate0\r", "ate0\r" + kOk},
      {"at+fclass=2\r", kOk},
      {"at+fclass=2.0\r", kError},
      {"atx4d;\r", "\r\nNO DIALTONE\r\n"}}},
    {"FaultKnobsShapeTheAnswer",
     [](ModemProfile& p) {
         p.faults["*"].silent = true;
         p.faults["ati3"].noLineEnds = true;
         p.faults["at+fclass=1"].garbage = "#@!";
         p.faults["at&t8"].error = true;  // the self test then never starts
         p.faults["ath"] = modemsim::CommandFault();
     },
     {{"ate0\r", "ate0\r"},
      {"ati3\r", "Tessaly Parlance V.92 Version 3.5.22OK"},
      {"at+fclass=1\r", "#@!"},
      {"at&t8\r", kError},
      {"ath\r", kOk}}},
    SelfTest("CountOfZero", [](ModemProfile&) {}, "\r\n000\r\n"),
    SelfTest("CountAsThreeDigits", [](ModemProfile& p) { p.loopbackErrors = 12; }, "\r\n012\r\n"),
    SelfTest("CountLineOverridden", [](ModemProfile& p) { p.loopbackCountLine = "  7"; }, "\r\n  7\r\n"),
    SelfTest("NoCountLine", [](ModemProfile& p) { p.loopbackCountSent = false; }, ""),
};

INSTANTIATE_TEST_SUITE_P(Sim, Dialogue, testing::ValuesIn(kConversations),
                         [](const testing::TestParamInfo<Conversation>& row) { return std::string(row.param.name); });

TEST(VirtualModem, ALateReplyArrivesLateAndTheNextWaitsBehindIt)
{
    ModemProfile profile;
    profile.faults["ate0"].delayMs = 400;
    VirtualModem modem(profile);
    Client client(modem);
    const auto start = Clock::now();
    client.send("ate0\rati3\r");
    EXPECT_EQ("ate0\r", client.read(5));
    EXPECT_EQ("", client.read(1, 250)) << "the answer came early";
    EXPECT_EQ(kOk + kId + kOk, client.read(kOk.size() * 2 + kId.size()));
    EXPECT_GE(MsSince(start), 400);
    EXPECT_EQ((std::vector<std::string>{"ate0", "ati3"}), modem.commands());
}

TEST(VirtualModem, AHangUpFaultLeavesTheTtyDead)
{
    ModemProfile profile;
    profile.faults["at&t8"].hangUp = true;
    VirtualModem modem(profile);
    Client client(modem);
    client.send("ate0\r");
    EXPECT_EQ("ate0\r" + kOk, client.read(5 + kOk.size()));
    client.send("at&t8\r");
    EXPECT_EQ("", client.read(1, 2000));  // end-of-file ends the read at once
    struct pollfd pfd = {client.fd, POLLIN, 0};
    EXPECT_EQ(1, poll(&pfd, 1, 0));
    EXPECT_NE(0, pfd.revents & POLLHUP);
    EXPECT_LT(open(modem.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK), 0);
}

TEST(VirtualModem, TheTtyKeepsItsSettingsAndAnswersAfterAClientCloses)
{
    VirtualModem modem;
    HANDLE port = PortOpen(modem.slavePath().c_str());
    ASSERT_EQ(TRUE, PortSetup(port));
    PortClose(port);
    port = PortOpen(modem.slavePath().c_str());
    struct termios settings;
    ASSERT_EQ(0, tcgetattr(port, &settings));
    EXPECT_EQ(0x800018B1u, settings.c_cflag);
    EXPECT_EQ(5, PortPrintf(port, "ati3\r"));
    EXPECT_EQ(TRUE, PortWaitFor(port, "Version 3.5.22", 2000));
    PortClose(port);
}

TEST(VirtualModem, ModemsSideBySideAnswerFromTheirOwnProfiles)
{
    ModemProfile other;
    other.identification = "Other Version 9.9.9";
    VirtualModem first;
    VirtualModem second(other);
    EXPECT_NE(first.slavePath(), second.slavePath());
    Client a(first);
    Client b(second);
    a.send("ati3\r");
    b.send("ati3\r");
    EXPECT_EQ("ati3\r" + kId + kOk, a.read(5 + kId.size() + kOk.size()));
    EXPECT_EQ("ati3\r\r\nOther Version 9.9.9\r\n" + kOk, b.read(5 + 23 + kOk.size()));
    second.setProfile(ModemProfile());  // from the next line on
    b.send("ati3\r");
    EXPECT_EQ("ati3\r" + kId + kOk, b.read(5 + kId.size() + kOk.size()));
}

TEST(ModemProfiles, EveryNameGivesItsProfile)
{
    for (const std::string& name : ModemProfile::names()) {
        const auto profile = ModemProfile::named(name);
        ASSERT_NE(nullptr, profile) << name;
        EXPECT_EQ(name, profile->name);
    }
    const auto demo = ModemProfile::named("nodialtone-loopback-errors");
    EXPECT_FALSE(demo->dialTone);
    EXPECT_NE(0, demo->loopbackErrors);
    EXPECT_EQ(nullptr, ModemProfile::named("no-such-modem"));
}

}  // namespace
