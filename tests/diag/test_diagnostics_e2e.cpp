// The real plug-in, loaded with dlopen: enumerate a simulated machine and run the whole diagnostic on each modem.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <memory>
#include <sys/stat.h>

#include "QuarnDiags/IDeviceEnumerator.h"
#include "QuarnDiags/IDiagnostics.h"
#include "SimulatedRoot.h"
#include "TestSupport.h"
#include "VirtualModem.h"

using namespace QuarnDiags;
using DeviceEnum::IDevice;
using DeviceEnum::IDeviceEnumerator;

namespace {

struct Verdict {
    int test;
    Diag::TestResult result;
    Uint code;
};

class Plugin {
public:
    Plugin() : m_handle(dlopen(MODEMDIAG_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL)) {}
    ~Plugin()
    {
        if (m_handle != nullptr) {
            dlclose(m_handle);
        }
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    template <typename Fn>
    Fn entry(const char* name) const
    {
        return m_handle != nullptr ? reinterpret_cast<Fn>(dlsym(m_handle, name)) : nullptr;
    }
    bool loaded() const { return m_handle != nullptr; }

private:
    void* m_handle;
};

}  // namespace

TEST(DiagnosticsEndToEnd, EveryModemOfASimulatedMachineGetsItsVerdicts)
{
    modemsim::VirtualModem healthy;
    modemsim::VirtualModem troubled(*modemsim::ModemProfile::named("nodialtone-loopback-errors"));
    modemsim::SimulatedRoot root;
    root.addChipset();
    root.addModem(0, 9);
    root.addModem(0, 10);
    root.addModem(2, 4);  // no driver tty
    root.linkTty(0, healthy.slavePath());
    root.linkTty(1, troubled.slavePath());
    root.setModules(65536, 0);
    modemsim::IrqRoutingTable pir;
    pir.slots = {{0, 9 << 3, 1}, {0, 10 << 3, 2}};
    root.setIrqTable(pir);
    root.exportToEnvironment();

    testsupport::TempDir package;
    mkdir(package.file("modem").c_str(), 0755);
    mkdir(package.file("log").c_str(), 0755);

    Plugin plugin;
    ASSERT_TRUE(plugin.loaded()) << dlerror();
    plugin.entry<void (*)(const char*)>("setPackageConfigFile")(package.file("modem/pkg.cfg").c_str());
    using Factory = IDeviceEnumerator* (*)(bool, IDeviceEnumerator::DiagnosticMode);
    using DiagFactory = Diag::IDiagnostics* (*)(bool, IDeviceEnumerator::DiagnosticMode);
    {
        std::unique_ptr<IDeviceEnumerator> enumerator(
            plugin.entry<Factory>("getIDeviceEnumerator")(true, IDeviceEnumerator::CUSTOMER));
        std::unique_ptr<Diag::IDiagnostics> diagnostic(
            plugin.entry<DiagFactory>("getIDiagnostics")(true, IDeviceEnumerator::CUSTOMER));
        DeviceEnum::VirtualDeviceVector* devices = enumerator->getDeviceVector("", 0);
        ASSERT_EQ(3u, devices->size());

        const std::vector<Verdict> expected[] = {
            {{0, Diag::PASSED, 0}, {1, Diag::PASSED, 0}, {2, Diag::PASSED, 0}},
            {{0, Diag::UNUSUAL_STATUS, 109}, {1, Diag::FAILED, 106}, {2, Diag::PASSED, 0}},
            {},
        };
        for (std::size_t i = 0; i < devices->size(); ++i) {
            SCOPED_TRACE(i);
            diagnostic->runDiagnostic(&(*devices)[i], Diag::DiagnosticSettings());
            const auto results = diagnostic->getDiagnosticResults();
            ASSERT_EQ(expected[i].size(), results.size());
            for (std::size_t k = 0; k < results.size(); ++k) {
                EXPECT_EQ(expected[i][k].test, results[k]->getTestIndex());
                EXPECT_EQ(expected[i][k].result, results[k]->getResult());
                EXPECT_EQ(expected[i][k].code, results[k]->getId());
            }
            EXPECT_EQ(Diag::DiagnosticStatus::COMPLETED, diagnostic->getDiagnosticStatus().getStatus());
        }
        EXPECT_EQ(IDevice::DRIVERS_NOT_INSTALLED, (*devices)[2]->getDeviceStatus());
    }

    const std::string diagLog = testsupport::readFile(package.file("log/TSYmodemDiagnostic.log"));
    EXPECT_NE(std::string::npos, diagLog.find("ModemDiag::ModemLoopbackTest::CheckLoopback() [/dev/ttySM1] - "
                                              "12 loopback errors reported"));
    EXPECT_NE(std::string::npos, diagLog.find("ModemDiag::ModemDialtoneDetectionTest::CheckForDialtone() "
                                              "[/dev/ttySM1] - No dialtone detected"));
    EXPECT_NE("", testsupport::readFile(package.file("log/TSYmodemDeviceEnumerator.log")));
    unsetenv("MODEMDIAG_SYSROOT");
}
