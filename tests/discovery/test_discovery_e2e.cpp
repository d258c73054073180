// The real plug-in, loaded with dlopen as a host does, enumerates a simulated machine through its exported factory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>

#include "QuarnDiags/IDeviceEnumerator.h"
#include "MachinePlan.h"
#include "TestSupport.h"

using QuarnDiags::DeviceEnum::IDeviceEnumerator;

// Two modems in slots 1 and 2 with their ttys, and a third modem function
// without a tty. The log, which lists each device's location, tty, slot and
// status, must match the golden file line for line, dates masked; the n-th
// function found gets ttySM<n>, and device 3 is in no slot of the table, so
// its failed lookup gives slot 0. A second call gives back the same vector
// without scanning again (a modem added since stays out), and logs only
// that it started and ended.
TEST(DiscoveryEndToEnd, ThreeModemFunctionsTwoWithTtys)
{
    modemsim::MachinePlan plan;
    plan.modems = {{0, 9, 0, "healthy", 1}, {0, 10, 0, "healthy", 2}, {2, 4, 0, "", 0}};
    plan.driverLoaded = false;
    modemsim::SimulatedMachine machine(plan);
    machine.root().exportToEnvironment();
    testsupport::TempDir package;
    mkdir(package.file("log").c_str(), 0755);

    void* plugin = dlopen(MODEMDIAG_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, plugin) << dlerror();
    auto setPackageConfigFile = reinterpret_cast<void (*)(const char*)>(dlsym(plugin, "setPackageConfigFile"));
    auto getIDeviceEnumerator = reinterpret_cast<IDeviceEnumerator* (*)(bool, IDeviceEnumerator::DiagnosticMode)>(
        dlsym(plugin, "getIDeviceEnumerator"));
    ASSERT_TRUE(setPackageConfigFile != nullptr && getIDeviceEnumerator != nullptr);
    setPackageConfigFile(package.file("modem/pkg.cfg").c_str());
    IDeviceEnumerator* enumerator = getIDeviceEnumerator(true, IDeviceEnumerator::FACTORY);
    const auto* devices = enumerator->getDeviceVector("", 7);
    machine.root().addModem(2, 5);
    EXPECT_EQ(devices, enumerator->getDeviceVector("", 7));
    EXPECT_EQ(3u, devices->size());
    delete enumerator;
    dlclose(plugin);
    unsetenv("MODEMDIAG_SYSROOT");

    const std::string goldenPath = DISCOVERY_GOLDEN_DIR "/enumeration.log";
    const std::string log = testsupport::readFile(package.file("log/TSYmodemDeviceEnumerator.log"));
    // MODEMDIAG_UPDATE_GOLDEN=1 rewrites the golden file after a deliberate change.
    if (std::getenv("MODEMDIAG_UPDATE_GOLDEN") != nullptr) {
        testsupport::writeFile(goldenPath, testsupport::maskDates(log));
    }
    EXPECT_EQ(testsupport::readFile(goldenPath), testsupport::maskDates(log));
}
