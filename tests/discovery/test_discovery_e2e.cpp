// The real plug-in, loaded with dlopen, enumerates simulated machines through its exported factory.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "QuarnDiags/IDeviceEnumerator.h"
#include "SimulatedRoot.h"
#include "TestSupport.h"
#include "VirtualModem.h"

using QuarnDiags::DeviceEnum::IDeviceEnumerator;

namespace {

// Loads the plug-in as a host does, points it at a package in a temporary
// folder, and describes each device it finds as "location|tty|hw info|status".
std::vector<std::string> EnumerateThroughPlugin(const testsupport::TempDir& package)
{
    std::vector<std::string> rows;
    mkdir(package.file("modem").c_str(), 0755);
    void* plugin = dlopen(MODEMDIAG_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(nullptr, plugin) << dlerror();
    if (plugin == nullptr) {
        return rows;
    }
    auto setPackageConfigFile = reinterpret_cast<void (*)(const char*)>(dlsym(plugin, "setPackageConfigFile"));
    auto getIDeviceEnumerator = reinterpret_cast<IDeviceEnumerator* (*)(bool, IDeviceEnumerator::DiagnosticMode)>(
        dlsym(plugin, "getIDeviceEnumerator"));
    if (setPackageConfigFile != nullptr && getIDeviceEnumerator != nullptr) {
        setPackageConfigFile(package.file("modem/pkg.cfg").c_str());
        IDeviceEnumerator* enumerator = getIDeviceEnumerator(true, IDeviceEnumerator::CUSTOMER);
        for (const auto& device : *enumerator->getDeviceVector("", 7)) {
            rows.push_back(device->getDeviceLocation() + "|" + device->getDeviceDescriptor() + "|" +
                           device->getDeviceAdditionalHWInfo() + "|" + std::to_string(device->getDeviceStatus()));
        }
        delete enumerator;
    }
    dlclose(plugin);
    return rows;
}

// modemsim --root in a child process, until the object goes.
class ModemsimProcess {
public:
    ModemsimProcess(const std::string& root, const char* modems)
    {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            execl(MODEMSIM_PATH, "modemsim", "--root", root.c_str(), "--modems", modems, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        m_output = fdopen(out[0], "r");
    }
    ~ModemsimProcess()
    {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        std::fclose(m_output);
    }
    ModemsimProcess(const ModemsimProcess&) = delete;
    ModemsimProcess& operator=(const ModemsimProcess&) = delete;

    // Its output up to the MODEMDIAG_SYSROOT= line, printed once the root
    // is complete; "" when it ended without one.
    std::string sysrootLine()
    {
        char line[4096];
        while (std::fgets(line, sizeof line, m_output) != nullptr) {
            const std::string text(line);
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

TEST(DiscoveryEndToEnd, ThreeModemFunctionsTwoWithTtys)
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

    const std::vector<std::string> expected = {
        "PCI Bus 0, Device 9, Function 0|/dev/ttySM0|PCI Slot 1|0",
        "PCI Bus 0, Device 10, Function 0|/dev/ttySM1|PCI Slot 2|0",
        "PCI Bus 2, Device 4, Function 0|||28",  // drivers not installed
    };
    EXPECT_EQ(expected, EnumerateThroughPlugin(package));
    unsetenv("MODEMDIAG_SYSROOT");

    // The package has no log folder: the log moved to the package folder.
    const std::string log = testsupport::readFile(package.file("modem/TSYmodemDeviceEnumerator.log"));
    EXPECT_NE(std::string::npos, log.find("ModemDeviceEnumerator::getDeviceVector() - Normal exit"));
}

TEST(DiscoveryEndToEnd, ModemsimRootServesThePlugin)
{
    testsupport::TempDir folder;
    const std::string rootPath = folder.file("root");
    ModemsimProcess modemsim(rootPath, "2");
    ASSERT_EQ("MODEMDIAG_SYSROOT=" + rootPath, modemsim.sysrootLine());
    setenv("MODEMDIAG_SYSROOT", rootPath.c_str(), 1);

    const std::vector<std::string> expected = {
        "PCI Bus 0, Device 16, Function 0|/dev/ttySM0|PCI Slot 1|0",
        "PCI Bus 0, Device 17, Function 0|/dev/ttySM1|PCI Slot 2|0",
    };
    EXPECT_EQ(expected, EnumerateThroughPlugin(folder));
    unsetenv("MODEMDIAG_SYSROOT");
}
