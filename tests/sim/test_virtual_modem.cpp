// The virtual modem where its faults would hide the plug-in's: answers, echo, order, timing, hang-up.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

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

const std::string kIdentification = "\r\nTessaly Parlance V.92 Version 3.5.22\r\n";
const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

// The plug-in's side of the line, with plain descriptor calls.
class Client {
public:
    explicit Client(const VirtualModem& modem) : m_fd(open(modem.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
    }
    ~Client()
    {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    int fd() const { return m_fd; }

    void send(const std::string& text) { ASSERT_EQ(static_cast<ssize_t>(text.size()), write(m_fd, text.data(), text.size())); }

    // Bytes from the modem until count have come or timeoutMs have passed.
    std::string read(std::size_t count, int timeoutMs = 2000)
    {
        std::string bytes;
        const auto start = Clock::now();
        while (bytes.size() < count && MsSince(start) < timeoutMs) {
            struct pollfd pfd = {m_fd, POLLIN, 0};
            if (poll(&pfd, 1, 20) > 0) {
                char chunk[256];
                const ssize_t got = ::read(m_fd, chunk, std::min(sizeof chunk, count - bytes.size()));
                if (got <= 0) {
                    break;
                }
                bytes.append(chunk, static_cast<std::size_t>(got));
            }
        }
        return bytes;
    }

private:
    int m_fd;
};

struct Exchange {
    std::string send;      // a command line with its CR, as a client writes it
    std::string expected;  // everything the modem answers, echo included
};

struct Conversation {
    const char* name;
    std::function<void(ModemProfile&)> shape;
    std::vector<Exchange> exchanges;
};

void PrintTo(const Conversation& conversation, std::ostream* out)
{
    *out << conversation.name;
}

class Dialogue : public ::testing::TestWithParam<Conversation> {};

TEST_P(Dialogue, AnswersEachLineInTurn)
{
    ModemProfile profile;
    profile.noDialToneDelayMs = 100;
    GetParam().shape(profile);
    VirtualModem modem(profile);
    Client client(modem);
    for (const Exchange& exchange : GetParam().exchanges) {
        client.send(exchange.send);
        EXPECT_EQ(exchange.expected, client.read(exchange.expected.size())) << "after " << exchange.send;
    }
    EXPECT_EQ("", client.read(1, 100)) << "nothing more";
}

const Conversation kConversations[] = {
    {"EchoOnAtStartOffAfterE0BackAfterFactoryReset",
     [](ModemProfile&) {},
     {{"at&f0\r", "at&f0\r" + kOk},
      {"ate0\r", "ate0\r" + kOk},
      {"ati3\r", kIdentification + kOk},
      {"AT&F\r", kOk},
      {"at\r", "at\r" + kOk}}},
    {"SeveralCommandsOnOneLineAndAnyCase",
     [](ModemProfile&) {},
     {{"aTe0I3\r", "aTe0I3\r" + kIdentification + kOk}, {"atx4d;\r", kOk}, {"ATH\r", kOk}}},
    {"UnknownCommandsAnswerErrorAfterEarlierInformation",
     [](ModemProfile&) {},
     {{"ate0\r", "ate0\r" + kOk},
      {"atq9\r", kError},
      {"at+fclass=7\r", kError},
      {"ati3q9\r", kIdentification + kError},
      {"at!\r", kError},
      {"hello\r", ""},
      {"at\r", kOk}}},
    {"FaxClassesPerProfile",
     [](ModemProfile& p) { p.fclass20 = false; },
     {{"ate0\r", "ate0\r" + kOk},
      {"at+fclass=1\r", kOk},
      {"at+fclass=2\r", kOk},
      {"at+fclass=2.0\r", kError}}},
    {"NoDialToneAnswersNoDialtone",
     [](ModemProfile& p) { p.dialTone = false; },
     {{"ate0\r", "ate0\r" + kOk}, {"atx4d;\r", "\r\nNO DIALTONE\r\n"}, {"ath\r", kOk}}},
    {"FaultKnobsShapeTheAnswer",
     [](ModemProfile& p) {
         p.faults["ati3"].noLineEnds = true;
         p.faults["at+fclass=1"].garbage = "#@!";
         p.faults["at+fclass=2"].silent = true;
         p.faults["at&t8"].error = true;
     },
     {{"ate0\r", "ate0\r" + kOk},
      {"ati3\r", "Tessaly Parlance V.92 Version 3.5.22OK"},
      {"at+fclass=1\r", "#@!"},
      {"at+fclass=2\r", ""},
      // The refused self test never started: the hang-up has no count to send.
      {"at&t8\r", kError},
      {"ath\r", kOk}}},
    {"EveryLineFaultAppliesWhereNoLineHasItsOwn",
     [](ModemProfile& p) {
         p.faults["*"].silent = true;
         p.faults["ati3"] = modemsim::CommandFault();
     },
     {{"ate0\r", "ate0\r"}, {"ati3\r", kIdentification + kOk}, {"at\r", ""}}},
};

INSTANTIATE_TEST_SUITE_P(Sim, Dialogue, ::testing::ValuesIn(kConversations),
                         [](const ::testing::TestParamInfo<Conversation>& row) { return std::string(row.param.name); });

struct SelfTestCase {
    const char* name;
    std::function<void(ModemProfile&)> shape;
    std::string countLine;  // framed line the hang-up sends before its OK, if any
};

void PrintTo(const SelfTestCase& row, std::ostream* out)
{
    *out << row.name;
}

class SelfTest : public ::testing::TestWithParam<SelfTestCase> {};

TEST_P(SelfTest, TheHangUpAfterAndT8SendsTheCountThenOk)
{
    ModemProfile profile;
    GetParam().shape(profile);
    VirtualModem modem(profile);
    Client client(modem);
    client.send("ate0\r");
    client.read(5 + kOk.size());
    client.send("at&t8\r");
    EXPECT_EQ(kOk, client.read(kOk.size()));
    client.send("ath\r");
    const std::string expected = GetParam().countLine + kOk;
    EXPECT_EQ(expected, client.read(expected.size()));
    // The self test is over: a second hang-up has nothing to count.
    client.send("ath\r");
    EXPECT_EQ(kOk, client.read(kOk.size() + 1, 300));
}

const SelfTestCase kSelfTests[] = {
    {"CleanThreeZeros", [](ModemProfile&) {}, "\r\n000\r\n"},
    {"ErrorsAsThreeDigits", [](ModemProfile& p) { p.loopbackErrors = 12; }, "\r\n012\r\n"},
    {"LeadingSpaces", [](ModemProfile& p) { p.loopbackCountLine = "  7"; }, "\r\n  7\r\n"},
    {"Negative", [](ModemProfile& p) { p.loopbackCountLine = "-3"; }, "\r\n-3\r\n"},
    {"ResultCodeInstead", [](ModemProfile& p) { p.loopbackCountLine = "OK"; }, "\r\nOK\r\n"},
    {"NoCountLine", [](ModemProfile& p) { p.loopbackCountSent = false; }, ""},
};

INSTANTIATE_TEST_SUITE_P(Sim, SelfTest, ::testing::ValuesIn(kSelfTests),
                         [](const ::testing::TestParamInfo<SelfTestCase>& row) { return std::string(row.param.name); });

TEST(VirtualModemTiming, ALateReplyArrivesLateAndLaterAnswersWaitForIt)
{
    ModemProfile profile;
    profile.faults["ate0"].delayMs = 400;
    VirtualModem modem(profile);
    Client client(modem);

    const auto start = Clock::now();
    client.send("ate0\rati3\r");
    EXPECT_EQ("ate0\r", client.read(5));
    EXPECT_LT(MsSince(start), 300);
    EXPECT_EQ("", client.read(1, 250)) << "the answer came early";
    const std::string rest = kOk + kIdentification + kOk;
    EXPECT_EQ(rest, client.read(rest.size()));
    EXPECT_GE(MsSince(start), 400);
    EXPECT_EQ((std::vector<std::string>{"ate0", "ati3"}), modem.commands());
}

TEST(VirtualModemLine, AHangUpFaultClosesTheLineForGood)
{
    ModemProfile profile;
    profile.faults["at&t8"].hangUp = true;
    VirtualModem modem(profile);
    Client client(modem);
    client.send("ate0\r");
    client.read(5 + kOk.size());
    client.send("at&t8\r");

    struct pollfd pfd = {client.fd(), POLLIN, 0};
    ASSERT_EQ(1, poll(&pfd, 1, 2000));
    EXPECT_NE(0, pfd.revents & POLLHUP);
    char byte;
    EXPECT_EQ(0, read(client.fd(), &byte, 1));
    EXPECT_LT(open(modem.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK), 0);
}

TEST(VirtualModemLine, TheTtyKeepsItsSettingsBetweenOpens)
{
    VirtualModem modem;
    HANDLE port = PortOpen(modem.slavePath().c_str());
    ASSERT_GE(port, 0);
    ASSERT_EQ(TRUE, PortSetup(port));
    PortClose(port);

    port = PortOpen(modem.slavePath().c_str());
    ASSERT_GE(port, 0);
    struct termios settings;
    ASSERT_EQ(0, tcgetattr(port, &settings));
    EXPECT_EQ(0x800018B1u, settings.c_cflag);
    // Nor did the close hang the modem up: it still answers.
    EXPECT_EQ(5, PortPrintf(port, "ati3\r"));
    EXPECT_EQ(TRUE, PortWaitFor(port, "Version 3.5.22", 2000));
    PortClose(port);
}

TEST(VirtualModemLine, SeveralModemsEachAnswerFromTheirOwnProfile)
{
    ModemProfile second;
    second.identification = "Second Version 9.9.9";
    VirtualModem first;
    VirtualModem other(second);
    EXPECT_NE(first.slavePath(), other.slavePath());
    Client a(first);
    Client b(other);
    a.send("ate0i3\r");
    b.send("ate0i3\r");
    EXPECT_EQ("ate0i3\r" + kIdentification + kOk, a.read(7 + kIdentification.size() + kOk.size()));
    EXPECT_EQ("ate0i3\r\r\nSecond Version 9.9.9\r\n" + kOk, b.read(7 + 24 + kOk.size()));

    // A new profile applies from the next line on.
    other.setProfile(ModemProfile());
    b.send("ati3\r");
    EXPECT_EQ(kIdentification + kOk, b.read(kIdentification.size() + kOk.size()));
}

TEST(ModemProfiles, EveryNameGivesItsProfileAndUnknownGivesNone)
{
    for (const std::string& name : ModemProfile::names()) {
        const auto profile = ModemProfile::named(name);
        ASSERT_NE(nullptr, profile) << name;
        EXPECT_EQ(name, profile->name);
    }
    const auto demo = ModemProfile::named("nodialtone-loopback-errors");
    ASSERT_NE(nullptr, demo);
    EXPECT_FALSE(demo->dialTone);
    EXPECT_NE(0, demo->loopbackErrors);
    EXPECT_EQ(nullptr, ModemProfile::named("no-such-modem"));
}

}  // namespace
