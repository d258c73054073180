// MachinePlan.h - a simulated machine as data, and the machine it stands up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DriverUseCount.h"
#include "SimulatedRoot.h"
#include "VirtualModem.h"

namespace modemsim {

// One modem function of a machine.
struct PlannedModem {
    int bus = 0;
    int device = 0;
    int function = 0;
    // Named profile (ModemProfile::named) of the virtual modem on the
    // function's driver tty; empty when the driver gave it no tty.
    std::string profile = "healthy";
    // Slot number in the BIOS IRQ routing table; 0 leaves it out.
    std::uint8_t slot = 0;
};

// What a simulated machine holds. The modems are listed in PCI scan order
// (bus, device, function ascending): the driver numbers its ttys in that
// order, so the n-th modem with a profile gets ttySM<n>, as on a real
// machine where the plug-in pairs the n-th function with the n-th tty.
struct MachinePlan {
    std::string name;
    std::string summary;  // one line for help texts
    // The usual other devices: SimulatedRoot::addChipset() and a
    // PCI-to-PCI bridge 00:1e.0 that leads to bus 2.
    bool chipset = true;
    std::vector<PciFunction> others;  // further functions, added after the chipset
    std::vector<PlannedModem> modems;
    // The driver module's line in proc/modules: loaded, with a use count
    // that follows the modems' ttys as the kernel's does (each tty open
    // anywhere but in the simulator counts once, and its reference goes
    // releaseDelayMs after its last close), plus this fixed base (nonzero
    // means another program holds the driver). Not loaded leaves
    // proc/modules out.
    bool driverLoaded = true;
    int driverUseCount = 0;
    int releaseDelayMs = kDefaultReleaseDelayMs;
    // The kernel drops a closed tty's reference from a work queue: on a
    // real i386 machine (Debian's kernel under QEMU) the count had fallen
    // by the time close() returned, within a millisecond of the close.
    static const int kDefaultReleaseDelayMs = 1;
    // The kernel the machine runs: its layout of proc/kcore.
    enum class Kernel { I386, Amd64 };
    Kernel kernel = Kernel::I386;
    // The firmware's IRQ routing table, holding the modems' slots, in
    // dev/mem and, on an i386 kernel, in proc/kcore. Without it an i386
    // machine has no proc/kcore and dev/mem holds zeros.
    bool irqTable = true;
    std::uint32_t irqTableAddress = 0xFDF60;
    // The kernel's slot records in sys/bus/pci/slots (a hotplug driver's).
    std::vector<PciSlotRecord> slotRecords;

    // The machines that diaghost --simulate offers: "demo" (the default:
    // every kind of verdict), "healthy", "none", "busy", "at-errors",
    // "silent", and the demo's modems on 64-bit machines, their slots known
    // to the firmware's table in dev/mem only ("amd64") or to the kernel's
    // slot records only ("sysfs").
    static const std::vector<MachinePlan>& named();
    static const MachinePlan* find(const std::string& name);
    // The modemsim command's machine: one modem per profile, eight to a bus
    // on buses 0, 2, 4 and 6 (devices 16-23), the n-th in slot n + 1.
    static MachinePlan spread(const std::vector<std::string>& profiles);
};

// A plan stood up: a simulated root and the virtual modems its ttys lead to.
// Everything goes when the object does (a given folder keeps its files).
// Throws std::runtime_error when the folder, a pseudo-terminal or a named
// profile cannot be had.
class SimulatedMachine {
public:
    // In a fresh temporary folder.
    explicit SimulatedMachine(const MachinePlan& plan);
    // In the given folder (see SimulatedRoot(folder)).
    SimulatedMachine(const MachinePlan& plan, const std::string& folder);
    ~SimulatedMachine();
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    SimulatedRoot& root() { return *m_root; }
    const SimulatedRoot& root() const { return *m_root; }
    // The virtual modems in tty order: modems()[n] answers on ttySM<n>.
    const std::vector<std::unique_ptr<VirtualModem>>& modems() const { return m_modems; }
    // The driver's use count as proc/modules shows it; null when the driver
    // is not loaded.
    const DriverUseCount* useCount() const { return m_useCount.get(); }

private:
    void build(const MachinePlan& plan);

    std::unique_ptr<SimulatedRoot> m_root;
    std::vector<std::unique_ptr<VirtualModem>> m_modems;
    // Last, so that it stops before the modems and the root go.
    std::unique_ptr<DriverUseCount> m_useCount;
};

}  // namespace modemsim
