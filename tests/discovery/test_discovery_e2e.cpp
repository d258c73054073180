// The real plug-in, loaded with dlopen, enumerates a simulated machine through its exported factory.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <cstdlib>
#include <string>

#include "QuarnDiags/IDeviceEnumerator.h"
#include "SimulatedRoot.h"
#include "TestSupport.h"
#include "VirtualModem.h"

using QuarnDiags::DeviceEnum::IDevice;
using QuarnDiags::DeviceEnum::IDeviceEnumerator;

namespace {

using SetPackageConfigFileFn = void (*)(const char*);
using GetIDeviceEnumeratorFn = IDeviceEnumerator* (*)(bool, IDeviceEnumerator::DiagnosticMode);

}  // namespace

TEST(DiscoveryEndToEnd, HostEnumeratesThreeModemsTwoWithTtys)
{
    modemsim::VirtualModem first;
    modemsim::VirtualModem second;
    modemsim::SimulatedRoot root;
    root.addChipset();
    root.addModem(0, 9);
    root.addModem(0, 10);
    root.addModem(2, 4);
    root.linkTty(0, first.slavePath());
    root.linkTty(1, second.slavePath());
    modemsim::IrqRoutingTable pir;
    pir.slots = {{0, 9 << 3, 1}, {0, 10 << 3, 2}};
    root.setIrqTable(pir);
    root.exportToEnvironment();

    testsupport::TempDir package;
    testsupport::runCommand("mkdir -p " + package.file("modem") + " " + package.file("log"));

    void* plugin = dlopen(MODEMDIAG_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, plugin) << dlerror();
    auto setPackageConfigFile =
        reinterpret_cast<SetPackageConfigFileFn>(dlsym(plugin, "setPackageConfigFile"));
    auto getIDeviceEnumerator =
        reinterpret_cast<GetIDeviceEnumeratorFn>(dlsym(plugin, "getIDeviceEnumerator"));
    ASSERT_NE(nullptr, setPackageConfigFile);
    ASSERT_NE(nullptr, getIDeviceEnumerator);

    setPackageConfigFile(package.file("modem/pkg.cfg").c_str());
    IDeviceEnumerator* enumerator = getIDeviceEnumerator(true, IDeviceEnumerator::CUSTOMER);
    ASSERT_NE(nullptr, enumerator);
    const QuarnDiags::DeviceEnum::VirtualDeviceVector* devices = enumerator->getDeviceVector("", 7);
    ASSERT_NE(nullptr, devices);
    ASSERT_EQ(3u, devices->size());

    struct Expected {
        const char* location;
        const char* tty;
        const char* hwInfo;
        IDevice::DeviceStatus status;
        const char* firmware;
    };
    const Expected expected[] = {
        {"PCI Bus 0, Device 9, Function 0", "/dev/ttySM0", "PCI Slot 1", IDevice::NORMAL, "3.5.22"},
        {"PCI Bus 0, Device 10, Function 0", "/dev/ttySM1", "PCI Slot 2", IDevice::NORMAL, "3.5.22"},
        {"PCI Bus 2, Device 4, Function 0", "", "", IDevice::DRIVERS_NOT_INSTALLED, ""},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const IDevice* device = (*devices)[i].getDevice();
        EXPECT_EQ(expected[i].location, device->getDeviceLocation());
        EXPECT_EQ(expected[i].tty, device->getDeviceDescriptor());
        EXPECT_EQ(expected[i].hwInfo, device->getDeviceAdditionalHWInfo());
        EXPECT_EQ(expected[i].status, device->getDeviceStatus());
        EXPECT_EQ(expected[i].firmware, device->getDeviceFruInfo().getDeviceFirmwareRevisionLevel());
        EXPECT_EQ(7u, device->getDeviceType());
    }
    delete enumerator;

    const std::string log = testsupport::readFile(package.file("log/TSYmodemDeviceEnumerator.log"));
    EXPECT_NE(std::string::npos, log.find("ModemDeviceEnumerator::getDeviceVector() - Normal exit"));
    dlclose(plugin);
    unsetenv("MODEMDIAG_SYSROOT");
}
