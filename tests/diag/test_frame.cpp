// What the three modem tests share: the device check, a busy or unusable port, control requests.
#include <gtest/gtest.h>

#include <dirent.h>

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

}  // namespace

TEST(TestFrame, ADeviceWithoutTtyIsRefusedWithoutTouchingAPort)
{
    testsupport::TempDir dir;
    SettleDiagnosticLog();
    g_logDirPath = dir.path();
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
        SettleDiagnosticLog();
        g_logDirPath = dir.path();
        OpenDiagnostic diagnostic(true, DeviceEnum::IDeviceEnumerator::CUSTOMER);
        auto device = ModemOn("/dev/ttySM0");
        const int openBefore = OpenDescriptors();
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(std::string(c.what) + " " + kClasses[i]);
            diagnostic.runTest(&device, i, Diag::DiagnosticSettings());
            const Outcome outcome = Collect(diagnostic, i);
            EXPECT_EQ(Diag::UNUSUAL_STATUS, outcome.verdict);
            EXPECT_EQ(c.code, outcome.code);
            EXPECT_EQ(Diag::WARNING_EVENT, outcome.type);
            EXPECT_EQ(Codes{c.code}, outcome.events);

            const std::string check = std::string("ModemDiag::") + kClasses[i] + "::" + kChecks[i] + "() [/dev/ttySM0] - ";
            std::string lines = check + "Started\n" + c.portLine;
            if (c.checkLine[0] != '\0') {
                lines += check + c.checkLine + "\n";
            }
            lines += check + "Aborting test\n";
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
    const std::pair<Uint, Uint> codes[] = {
        {TEST_COMPLETED_SUCCESSFULLY, 0},
        {TEST_ABORTED, 1},
        {TEST_EXECUTING, 2},
        {INVALID_DEVICE_REFERENCE, 3},
        {DIALTONE_PRESENT, 100},
        {NO_DIALTONE, 101},
        {CANT_OPEN_PORT, 102},
        {CANT_INIT_PORT, 103},
        {CORRECT_AT_RESPONSE, 104},
        {INCORRECT_AT_RESPONSE_ERROR, 105},
        {LOOPBACK_TEST_ERRORS_REPORTED, 106},
        {TEST_FAILED, 107},
        {HALTED_ON_ERROR, 108},
        {NO_DIALTONE_WARNING, 109},
        {LOOPBACK_TEST_NO_ERRORS_REPORTED, 110},
        {MODEMS_IN_USE, 111},
        {INCORRECT_AT_RESPONSE_WARNING, 112},
    };
    for (const auto& [code, number] : codes) {
        EXPECT_EQ(number, code);
    }
}
