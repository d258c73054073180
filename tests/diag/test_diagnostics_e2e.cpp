// The real plug-in, loaded with dlopen: enumerate a simulated machine and run the whole diagnostic on each modem.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <memory>
#include <sys/stat.h>

#include "QuarnDiags/IDeviceEnumerator.h"
#include "QuarnDiags/IDiagnostics.h"
#include "MachinePlan.h"
#include "TestSupport.h"

using namespace QuarnDiags;
using DeviceEnum::IDeviceEnumerator;

// The demo machine: a healthy modem, one without dial tone whose loopback
// counts errors, and a modem function without driver tty.
TEST(DiagnosticsEndToEnd, EveryModemOfASimulatedMachineGetsItsVerdicts)
{
    modemsim::SimulatedMachine machine(*modemsim::MachinePlan::find("demo"));
    machine.root().exportToEnvironment();
    testsupport::TempDir package;
    mkdir(package.file("log").c_str(), 0755);

    void* plugin = dlopen(MODEMDIAG_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, plugin) << dlerror();
    using Factory = IDeviceEnumerator* (*)(bool, IDeviceEnumerator::DiagnosticMode);
    using DiagFactory = Diag::IDiagnostics* (*)(bool, IDeviceEnumerator::DiagnosticMode);
    reinterpret_cast<void (*)(const char*)>(dlsym(plugin, "setPackageConfigFile"))(
        package.file("modem/pkg.cfg").c_str());
    {
        std::unique_ptr<IDeviceEnumerator> enumerator(
            reinterpret_cast<Factory>(dlsym(plugin, "getIDeviceEnumerator"))(true, IDeviceEnumerator::CUSTOMER));
        std::unique_ptr<Diag::IDiagnostics> diagnostic(
            reinterpret_cast<DiagFactory>(dlsym(plugin, "getIDiagnostics"))(true, IDeviceEnumerator::CUSTOMER));
        DeviceEnum::VirtualDeviceVector* devices = enumerator->getDeviceVector("", 0);
        ASSERT_EQ(3u, devices->size());

        // Per modem: (verdict, code) of the dial tone, loopback and AT command
        // tests; the modem without a tty is tested by none.
        const std::vector<std::pair<Diag::TestResult, Uint>> expected[] = {
            {{Diag::PASSED, 0}, {Diag::PASSED, 0}, {Diag::PASSED, 0}},
            {{Diag::UNUSUAL_STATUS, 109}, {Diag::FAILED, 106}, {Diag::PASSED, 0}},
            {},
        };
        for (std::size_t i = 0; i < devices->size(); ++i) {
            diagnostic->runDiagnostic(&(*devices)[i], Diag::DiagnosticSettings());
            std::vector<std::pair<Diag::TestResult, Uint>> got;
            for (const Diag::DiagnosticResult* result : diagnostic->getDiagnosticResults()) {
                got.emplace_back(result->getResult(), result->getId());
            }
            EXPECT_EQ(expected[i], got) << "modem " << i;
        }
    }
    dlclose(plugin);
    unsetenv("MODEMDIAG_SYSROOT");

    const std::string log = testsupport::readFile(package.file("log/TSYmodemDiagnostic.log"));
    EXPECT_NE(std::string::npos, log.find("CheckLoopback() [/dev/ttySM1] - 12 loopback errors reported\n"));
    EXPECT_NE(std::string::npos, log.find("CheckForDialtone() [/dev/ttySM1] - No dialtone detected\n"));
    EXPECT_NE("", testsupport::readFile(package.file("log/TSYmodemDeviceEnumerator.log")));
}
