// What the three modem tests share: the device check, a busy or unusable port, control requests.
#include <gtest/gtest.h>

#include "DiagHarness.h"
#include "SimulatedRoot.h"

using namespace diagtest;

namespace {

const char* const kClasses[] = {"ModemDialtoneDetectionTest", "ModemLoopbackTest", "ModemATCommandTest"};
const char* const kChecks[] = {"CheckForDialtone", "CheckLoopback", "CheckATCommands"};

class NotAModem : public DeviceEnum::IDevice {
public:
    NotAModem() : IDevice("disk", "disk", "/dev/ttySM0", "disk", "loc", 0, "tag") {}
    Uint open(AccessMode) override { return 0; }
    void close() override {}
    void identifyDevice(int) override {}
};

}  // namespace

TEST(TestFrame, ADeviceWithoutTtyIsRefusedWithoutTouchingAPort)
{
    testsupport::TempDir dir;
    SettleDiagnosticLog(dir.path());
    OpenDiagnostic diagnostic(true, DeviceEnum::IDeviceEnumerator::CUSTOMER);
    auto noTty = ModemOn("");
    NotAModem other;
    for (int i = 0; i < 3; ++i) {
        for (const DeviceEnum::IDevice* device : {noTty.getDevice(), static_cast<DeviceEnum::IDevice*>(&other)}) {
            EXPECT_FALSE(diagnostic.test(i)->isDeviceSupported(device, DeviceEnum::IDeviceEnumerator::FACTORY));
            std::unique_ptr<Diag::DiagnosticResult> result(diagnostic.test(i)->run(device, Diag::DiagnosticSettings()));
            EXPECT_EQ(Diag::FAILED, result->getResult());
            EXPECT_EQ(INVALID_DEVICE_REFERENCE, result->getId());
            EXPECT_EQ(Diag::INFORMATION_EVENT, result->getType());
        }
    }
    EXPECT_TRUE(diagnostic.getDiagnosticEvents().empty());
    EXPECT_EQ(nullptr, gpLogFile);
    const std::string run = "ModemDiag::ModemATCommandTest::run() []";
    EXPECT_NE(std::string::npos, testsupport::readFile(dir.file("TSYmodemDiagnostic.log"))
                                     .find(run + "\n" + run + " - Invalid device reference, aborting test\n" + run +
                                           " - Normal exit  \n"));
}

TEST(TestFrame, ABusyMissingOrUnusablePortIsAWarningAndLeavesNothingOpen)
{
    struct Case {
        const char* what;
        Uint code;
        const char* portLine;  // the port layer's own line, "" for none
        const char* checkLine;
    };
    const Case cases[] = {
        {"in use", MODEMS_IN_USE, "", ""},
        {"missing", CANT_OPEN_PORT, "Tessaly Modem Diagnostics: Unable to open serial device /dev/ttySM0\n",
         "Unable to open port /dev/ttySM0"},
        {"no tty", CANT_INIT_PORT, "Tessaly Modem Diagnostics: Failed to set up port\n", ""},
    };
    for (const Case& c : cases) {
        modemsim::VirtualModem modem;
        modemsim::SimulatedRoot root;
        root.exportToEnvironment();
        if (c.code == MODEMS_IN_USE) {
            root.linkTty(0, modem.slavePath());
            root.setModules(65536, 2);
        } else if (c.code == CANT_INIT_PORT) {
            root.makeTtyNode(0, modemsim::TtyNode::RegularFile);
        }
        testsupport::TempDir dir;
        SettleDiagnosticLog(dir.path());
        OpenDiagnostic diagnostic(true, DeviceEnum::IDeviceEnumerator::CUSTOMER);
        auto device = ModemOn("/dev/ttySM0");
        const int openBefore = OpenDescriptors();
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(std::string(c.what) + " " + kClasses[i]);
            diagnostic.runTest(&device, i, Diag::DiagnosticSettings());
            const Outcome outcome = Collect(diagnostic, i);
            ExpectOutcome(outcome, Diag::UNUSUAL_STATUS, c.code, Diag::WARNING_EVENT, Codes{c.code});

            const std::string check = std::string("ModemDiag::") + kClasses[i] + "::" + kChecks[i] + "() [/dev/ttySM0] - ";
            const std::string lines = check + "Started\n" + c.portLine +
                                      (*c.checkLine != '\0' ? check + c.checkLine + "\n" : "") + check + "Aborting test\n";
            EXPECT_NE(std::string::npos, testsupport::readFile(dir.file("TSYmodemDiagnostic.log")).find(lines));
        }
        EXPECT_EQ(openBefore, OpenDescriptors());
        EXPECT_TRUE(modem.commands().empty());
        unsetenv("MODEMDIAG_SYSROOT");
    }
}

TEST(TestFrame, AnAbortAndAClosedLogChangeNothingInAnAtCommandCheck)
{
    DiagHarness harness(modemsim::ModemProfile(), /*log=*/false);
    std::thread control = harness.abortAfter("ati3", ModemDiagnostic::AT_COMMAND_TEST, 0);
    const Outcome outcome = harness.run(ModemDiagnostic::AT_COMMAND_TEST);
    control.join();
    EXPECT_EQ(Diag::PASSED, outcome.verdict);
    EXPECT_EQ((Codes{CORRECT_AT_RESPONSE, CORRECT_AT_RESPONSE, CORRECT_AT_RESPONSE}), outcome.events);
    EXPECT_FALSE(ModemDiagnostic::logFile().is_open());
    EXPECT_EQ("", testsupport::readFile(harness.dir.file("TSYmodemDiagnostic.log")));
}

// The codes travel to the host and its message texts by number.
TEST(MsgCodes, KeepTheirNumbers)
{
    // Numbered 0 up and 100 up, in this order.
    const Uint general[] = {TEST_COMPLETED_SUCCESSFULLY, TEST_ABORTED, TEST_EXECUTING, INVALID_DEVICE_REFERENCE};
    const Uint modem[] = {DIALTONE_PRESENT, NO_DIALTONE, CANT_OPEN_PORT, CANT_INIT_PORT, CORRECT_AT_RESPONSE,
                          INCORRECT_AT_RESPONSE_ERROR, LOOPBACK_TEST_ERRORS_REPORTED, TEST_FAILED, HALTED_ON_ERROR,
                          NO_DIALTONE_WARNING, LOOPBACK_TEST_NO_ERRORS_REPORTED, MODEMS_IN_USE,
                          INCORRECT_AT_RESPONSE_WARNING};
    for (Uint i = 0; i < 4; ++i) {
        EXPECT_EQ(i, general[i]);
    }
    for (Uint i = 0; i < 13; ++i) {
        EXPECT_EQ(100 + i, modem[i]) << i;
    }
}
