// What the three modem tests share: device checks, a busy or unusable port, control requests.
#include <gtest/gtest.h>

#include <dirent.h>
#include <thread>

#include "DiagHarness.h"
#include "ModemATCommandTest.h"
#include "ModemDialtoneDetectionTest.h"
#include "ModemDiagMsg.h"
#include "ModemLoopbackTest.h"
#include "SimulatedRoot.h"

using namespace diagtest;
using namespace QuarnDiags::ModemDiag;
using QuarnDiags::Diag::DiagnosticSettings;
using QuarnDiags::Diag::EventQueue;
using QuarnDiags::Diag::IFunctionalTest;
using QuarnDiags::DeviceEnum::IDeviceEnumerator;

namespace {

class NotAModem : public QuarnDiags::DeviceEnum::IDevice {
public:
    NotAModem() : IDevice("disk", "disk", "/dev/ttySM0", "disk", "loc", 0, "tag") {}
    QuarnDiags::Uint open(AccessMode) override { return 0; }
    void close() override {}
    void identifyDevice(int) override {}
};

// The three tests, made directly on a log stream of the test's own.
struct EachTest {
    const char* className;
    const char* checkName;
    std::unique_ptr<IFunctionalTest> (*make)(std::ofstream&, EventQueue&);
};

const EachTest kTests[] = {
    {"ModemATCommandTest", "CheckATCommands",
     [](std::ofstream& log, EventQueue& queue) -> std::unique_ptr<IFunctionalTest> {
         return std::make_unique<ModemATCommandTest>(log, queue);
     }},
    {"ModemDialtoneDetectionTest", "CheckForDialtone",
     [](std::ofstream& log, EventQueue& queue) -> std::unique_ptr<IFunctionalTest> {
         return std::make_unique<ModemDialtoneDetectionTest>(log, queue);
     }},
    {"ModemLoopbackTest", "CheckLoopback",
     [](std::ofstream& log, EventQueue& queue) -> std::unique_ptr<IFunctionalTest> {
         return std::make_unique<ModemLoopbackTest>(log, queue);
     }},
};

int OpenDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
}

// A simulated root whose dev/ttySM0 is whatever the case needs.
struct RootedRun : ::testing::Test {
    void SetUp() override { root.exportToEnvironment(); }
    void TearDown() override { unsetenv("MODEMDIAG_SYSROOT"); }

    // Runs one test on /dev/ttySM0 and returns its result; events in queue.
    std::unique_ptr<QuarnDiags::Diag::DiagnosticResult> runOn(const EachTest& which)
    {
        log.open(dir.file("test.log"), std::ios::out | std::ios::trunc);
        auto test = which.make(log, queue);
        auto device = ModemOn("/dev/ttySM0");
        std::unique_ptr<QuarnDiags::Diag::DiagnosticResult> result(test->run(device.getDevice(), DiagnosticSettings()));
        log.close();
        return result;
    }
    std::vector<std::string> lines() const { return testsupport::readLines(dir.file("test.log")); }

    testsupport::TempDir dir;
    modemsim::SimulatedRoot root;
    std::ofstream log;
    EventQueue queue;
};

}  // namespace

TEST(TestFrame, ADeviceWithoutTtyIsRefusedWithoutTouchingAPort)
{
    for (const EachTest& which : kTests) {
        testsupport::TempDir dir;
        std::ofstream log(dir.file("test.log"));
        EventQueue queue;
        auto test = which.make(log, queue);
        auto noTty = ModemOn("");
        NotAModem other;

        for (auto mode : {IDeviceEnumerator::CUSTOMER, IDeviceEnumerator::FACTORY, IDeviceEnumerator::BRINGUP}) {
            EXPECT_FALSE(test->isDeviceSupported(noTty.getDevice(), mode));
            EXPECT_FALSE(test->isDeviceSupported(&other, mode));
            EXPECT_FALSE(test->isDeviceSupported(nullptr, mode));
        }
        for (const QuarnDiags::DeviceEnum::IDevice* device :
             {static_cast<const QuarnDiags::DeviceEnum::IDevice*>(noTty.getDevice()),
              static_cast<const QuarnDiags::DeviceEnum::IDevice*>(&other)}) {
            std::unique_ptr<QuarnDiags::Diag::DiagnosticResult> result(test->run(device, DiagnosticSettings()));
            EXPECT_EQ(QuarnDiags::Diag::FAILED, result->getResult());
            EXPECT_EQ(INVALID_DEVICE_REFERENCE, result->getId());
            EXPECT_EQ(QuarnDiags::Diag::INFORMATION_EVENT, result->getType());
        }
        EXPECT_EQ(0u, queue.size());
        EXPECT_EQ(nullptr, gpLogFile);

        const std::string prefix = std::string("ModemDiag::") + which.className + "::run() []";
        const std::vector<std::string> once = {prefix, prefix + " - Invalid device reference, aborting test",
                                               prefix + " - Normal exit  "};
        std::vector<std::string> twice = once;
        twice.insert(twice.end(), once.begin(), once.end());
        log.close();
        EXPECT_EQ(twice, testsupport::readLines(dir.file("test.log")));
    }
}

TEST_F(RootedRun, ModemsInUseIsAWarningAndNoPortIsOpened)
{
    modemsim::VirtualModem modem;
    root.linkTty(0, modem.slavePath());
    root.setModules(65536, 2);
    for (const EachTest& which : kTests) {
        queue.clear();
        auto result = runOn(which);
        EXPECT_EQ(QuarnDiags::Diag::UNUSUAL_STATUS, result->getResult());
        EXPECT_EQ(MODEMS_IN_USE, result->getId());
        EXPECT_EQ(QuarnDiags::Diag::WARNING_EVENT, result->getType());
        ASSERT_EQ(1u, queue.size());
        EXPECT_EQ(MODEMS_IN_USE, queue.snapshot()[0]->getId());
        const auto text = lines();
        ASSERT_EQ(4u, text.size());
        EXPECT_NE(std::string::npos, text[1].find("() [/dev/ttySM0] - Started"));
        EXPECT_NE(std::string::npos, text[2].find("() [/dev/ttySM0] - Aborting test"));
    }
    EXPECT_TRUE(modem.commands().empty());
}

TEST_F(RootedRun, APortThatCannotBeOpenedIsAWarning)
{
    for (const EachTest& which : kTests) {
        queue.clear();
        auto result = runOn(which);
        EXPECT_EQ(QuarnDiags::Diag::UNUSUAL_STATUS, result->getResult());
        EXPECT_EQ(CANT_OPEN_PORT, result->getId());
        ASSERT_EQ(1u, queue.size());
        EXPECT_EQ(CANT_OPEN_PORT, queue.snapshot()[0]->getId());
        const std::string run = std::string("ModemDiag::") + which.className + "::run() [/dev/ttySM0]";
        const std::string check =
            std::string("ModemDiag::") + which.className + "::" + which.checkName + "() [/dev/ttySM0] - ";
        const std::vector<std::string> expected = {
            run,
            check + "Started",
            "Tessaly Modem Diagnostics: Unable to open serial device /dev/ttySM0",
            check + "Unable to open port /dev/ttySM0",
            check + "Aborting test",
            run + " - Normal exit  ",
        };
        EXPECT_EQ(expected, lines());
    }
}

TEST_F(RootedRun, APortThatIsNoTtyCannotBeSetUpAndIsClosedAgain)
{
    root.makeTtyNode(0, modemsim::TtyNode::RegularFile);
    const int openBefore = OpenDescriptors();
    for (const EachTest& which : kTests) {
        queue.clear();
        auto result = runOn(which);
        EXPECT_EQ(QuarnDiags::Diag::UNUSUAL_STATUS, result->getResult());
        EXPECT_EQ(CANT_INIT_PORT, result->getId());
        ASSERT_EQ(1u, queue.size());
        EXPECT_EQ(CANT_INIT_PORT, queue.snapshot()[0]->getId());
        const auto text = lines();
        ASSERT_EQ(5u, text.size());
        EXPECT_EQ("Tessaly Modem Diagnostics: Failed to set up port", text[2]);
        EXPECT_NE(std::string::npos, text[3].find("Aborting test"));
    }
    // Every run closed what it opened.
    EXPECT_EQ(openBefore, OpenDescriptors());
}

TEST(TestFrame, ControlRequestsDoNotChangeAnAtCommandCheck)
{
    DiagHarness harness;
    std::thread control([&] {
        harness.diagnostic->suspendDiagnostic();
        harness.diagnostic->resumeDiagnostic();
    });
    const Outcome outcome = harness.run(ModemDiagnostic::AT_COMMAND_TEST);
    control.join();
    EXPECT_EQ(QuarnDiags::Diag::PASSED, outcome.verdict);
    EXPECT_EQ(3u, outcome.events.size());
}

TEST(TestFrame, WithTheLogClosedTheSameEventsAndResultComeBack)
{
    DiagHarness harness(modemsim::ModemProfile(), /*log=*/false);
    const Outcome outcome = harness.run(ModemDiagnostic::AT_COMMAND_TEST);
    EXPECT_EQ(QuarnDiags::Diag::PASSED, outcome.verdict);
    EXPECT_EQ((std::vector<QuarnDiags::Uint>{CORRECT_AT_RESPONSE, CORRECT_AT_RESPONSE, CORRECT_AT_RESPONSE}),
              outcome.events);
    EXPECT_FALSE(ModemDiagnostic::logFile().is_open());
    EXPECT_EQ("", testsupport::readFile(harness.logPath()));
}
