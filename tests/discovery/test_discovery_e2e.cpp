// The real plug-in, loaded with dlopen, enumerates a simulated machine through its exported factory.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "QuarnDiags/IDeviceEnumerator.h"
#include "SimulatedRoot.h"
#include "TestSupport.h"
#include "VirtualModem.h"

using QuarnDiags::DeviceEnum::IDevice;
using QuarnDiags::DeviceEnum::IDeviceEnumerator;

namespace {

using SetPackageConfigFileFn = void (*)(const char*);
using GetIDeviceEnumeratorFn = IDeviceEnumerator* (*)(bool, IDeviceEnumerator::DiagnosticMode);

// modemsim --root running in a child process, until the object goes.
class ModemsimProcess {
public:
    ModemsimProcess(const std::string& root, int modems)
    {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            const std::string count = std::to_string(modems);
            execl(MODEMSIM_PATH, "modemsim", "--root", root.c_str(), "--modems", count.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        m_output = fdopen(out[0], "r");
    }
    ~ModemsimProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_output != nullptr) {
            std::fclose(m_output);
        }
    }
    ModemsimProcess(const ModemsimProcess&) = delete;
    ModemsimProcess& operator=(const ModemsimProcess&) = delete;

    // Reads its output up to the MODEMDIAG_SYSROOT= line, which it prints
    // once the root is complete; "" when it ended without one.
    std::string sysrootLine()
    {
        char line[4096];
        while (m_output != nullptr && std::fgets(line, sizeof line, m_output) != nullptr) {
            std::string text(line);
            if (text.rfind("MODEMDIAG_SYSROOT=", 0) == 0) {
                return text.substr(0, text.find('\n'));
            }
        }
        return "";
    }

private:
    pid_t m_pid = -1;
    FILE* m_output = nullptr;
};

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

TEST(DiscoveryEndToEnd, ModemsimRootServesTheRealPlugin)
{
    testsupport::TempDir folder;
    const std::string rootPath = folder.file("root");
    ModemsimProcess modemsim(rootPath, 3);
    ASSERT_EQ("MODEMDIAG_SYSROOT=" + rootPath, modemsim.sysrootLine());
    setenv("MODEMDIAG_SYSROOT", rootPath.c_str(), 1);

    void* plugin = dlopen(MODEMDIAG_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, plugin) << dlerror();
    auto getIDeviceEnumerator =
        reinterpret_cast<GetIDeviceEnumeratorFn>(dlsym(plugin, "getIDeviceEnumerator"));
    ASSERT_NE(nullptr, getIDeviceEnumerator);
    IDeviceEnumerator* enumerator = getIDeviceEnumerator(false, IDeviceEnumerator::CUSTOMER);
    const QuarnDiags::DeviceEnum::VirtualDeviceVector* devices = enumerator->getDeviceVector("", 0);
    ASSERT_EQ(3u, devices->size());
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const IDevice* device = (*devices)[i].getDevice();
        EXPECT_EQ("/dev/ttySM" + std::to_string(i), device->getDeviceDescriptor());
        EXPECT_EQ("PCI Slot " + std::to_string(i + 1), device->getDeviceAdditionalHWInfo());
        EXPECT_EQ(IDevice::NORMAL, device->getDeviceStatus());
    }
    delete enumerator;
    dlclose(plugin);
    unsetenv("MODEMDIAG_SYSROOT");
}
