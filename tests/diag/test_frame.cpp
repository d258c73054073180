// What the three modem tests share: the device check, a busy or unusable port; the code numbers.
#include <gtest/gtest.h>

#include "DiagHarness.h"
#include "SimulatedRoot.h"

using namespace diagtest;

namespace {

class NotAModem : public DeviceEnum::IDevice {
public:
    NotAModem() : IDevice("disk", "disk", "/dev/ttySM0", "disk", "loc", 0, "tag") {}
    Uint open(AccessMode) override { return 0; }
    void close() override {}
    void identifyDevice(int) override {}
};

}  // namespace

// A device without tty, or not one of ours (no crash on the type check), is
// unsupported, and a run on it fails at once. The driver in use, a missing
// tty, a tty that is no terminal: each test warns. Either way each test logs
// why (with the tty's logical path) and leaves nothing open.
TEST(TestFrame, AnUnusableDeviceOrPortIsRefusedAndLeavesNothingOpen)
{
    testsupport::TempDir dir;
    testsupport::settlePluginLogs(dir.path());
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

    auto device = ModemOn("/dev/ttySM0");
    modemsim::VirtualModem modem;
    for (const Uint code : {MODEMS_IN_USE, CANT_OPEN_PORT, CANT_INIT_PORT}) {
        modemsim::SimulatedRoot root;
        root.exportToEnvironment();
        if (code == MODEMS_IN_USE) {
            root.linkTty(0, modem.slavePath());
            root.setModules(65536, 2);
        } else if (code == CANT_INIT_PORT) {
            root.makeTtyNode(0, modemsim::TtyNode::RegularFile);
        }
        const int openBefore = testsupport::openDescriptors();
        for (int i = 0; i < 3; ++i) {
            diagnostic.runTest(&device, i, Diag::DiagnosticSettings());
            ExpectOutcome(Collect(diagnostic, i), Diag::UNUSUAL_STATUS, code, Diag::WARNING_EVENT, Codes{code});
        }
        EXPECT_EQ(openBefore, testsupport::openDescriptors());
        unsetenv("MODEMDIAG_SYSROOT");
    }
    EXPECT_TRUE(modem.commands().empty());
    EXPECT_EQ(testsupport::readFile(DIAG_GOLDEN_DIR "/refused.log"),
              testsupport::maskDates(testsupport::readFile(dir.file("TSYmodemDiagnostic.log"))));
}

// The codes travel to the host by number, and the package's message list
// names them by number: a renumbered code would be shown as another.
TEST(MsgCodes, AreNumberedAsThePackageNamesThem)
{
    const std::string messages = testsupport::readFile(DIAG_GOLDEN_DIR "/../../../package/pkg.cfg");
#define CODE(name) "\n" + std::to_string(name) + " = " #name ":"
    for (const std::string& line : {CODE(TEST_COMPLETED_SUCCESSFULLY), CODE(TEST_ABORTED), CODE(TEST_EXECUTING),
                                    CODE(INVALID_DEVICE_REFERENCE), CODE(DIALTONE_PRESENT), CODE(NO_DIALTONE),
                                    CODE(CANT_OPEN_PORT), CODE(CANT_INIT_PORT), CODE(CORRECT_AT_RESPONSE),
                                    CODE(INCORRECT_AT_RESPONSE_ERROR), CODE(LOOPBACK_TEST_ERRORS_REPORTED),
                                    CODE(TEST_FAILED), CODE(HALTED_ON_ERROR), CODE(NO_DIALTONE_WARNING),
                                    CODE(LOOPBACK_TEST_NO_ERRORS_REPORTED), CODE(MODEMS_IN_USE),
                                    CODE(INCORRECT_AT_RESPONSE_WARNING)}) {
        EXPECT_NE(std::string::npos, messages.find(line)) << line;
    }
#undef CODE
}
