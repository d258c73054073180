// MachinePlan.cpp - the named simulated machines and how a plan becomes a simulated root with virtual modems.
#include "MachinePlan.h"

#include <stdexcept>

namespace modemsim {

namespace {

PlannedModem Modem(int bus, int device, const char* profile, std::uint8_t slot)
{
    PlannedModem modem;
    modem.bus = bus;
    modem.device = device;
    modem.profile = profile;
    modem.slot = slot;
    return modem;
}

MachinePlan Plan(const char* name, const char* summary, std::vector<PlannedModem> modems, int useCount = 0)
{
    MachinePlan plan;
    plan.name = name;
    plan.summary = summary;
    plan.modems = std::move(modems);
    plan.driverUseCount = useCount;
    return plan;
}

// A PCI-to-PCI bridge 00:1e.0 leads to bus 2, where add-in cards sit too.
PciFunction BridgeToBus2()
{
    PciFunction bridge;
    bridge.device = 0x1e;
    bridge.vendorId = 0x8086;
    bridge.deviceId = 0x244e;
    bridge.subsystemVendorId = 0;
    bridge.subsystemId = 0;
    bridge.classCode = 0x060400;
    bridge.headerType = 0x01;
    bridge.secondaryBus = 2;
    return bridge;
}

// The demo's modems on an amd64 kernel, whose proc/kcore has no firmware
// area: the plug-in finds no slot there. The firmware's table lies where
// the firmware of QEMU's pc machine puts it; or there is none, and the
// kernel's hotplug driver knows the slots, empty ones too.
MachinePlan Amd64(const char* name, const char* summary, bool irqTable)
{
    MachinePlan plan = Plan(name, summary,
                            {Modem(0, 9, "healthy", 1), Modem(0, 10, "nodialtone-loopback-errors", 2), Modem(2, 4, "", 3)});
    plan.kernel = MachinePlan::Kernel::Amd64;
    plan.irqTable = irqTable;
    plan.irqTableAddress = 0xF5C80;
    if (!irqTable) {
        plan.slotRecords = {{"1", 0, 0, 9}, {"2", 0, 0, 10}, {"3", 0, 2, 4}, {"4", 0, 2, 5}, {"5", 0, 2, 6}};
    }
    return plan;
}

}  // namespace

const std::vector<MachinePlan>& MachinePlan::named()
{
    // The demo shows every kind of verdict: a healthy modem, one whose line
    // has no dial tone and whose loopback counts errors, and a modem
    // function the driver gave no tty.
    static const std::vector<MachinePlan> all = {
        Plan("demo",
             "two modems (one healthy, one with no dial tone and loopback errors) and a modem without driver tty",
             {Modem(0, 9, "healthy", 1), Modem(0, 10, "nodialtone-loopback-errors", 2), Modem(2, 4, "", 3)}),
        Plan("healthy", "one healthy modem", {Modem(0, 9, "healthy", 1)}),
        Plan("none", "no modem at all, only other PCI devices", {}),
        Plan("busy", "the demo's two modems while another program holds the driver",
             {Modem(0, 9, "healthy", 1), Modem(0, 10, "nodialtone-loopback-errors", 2)}, 1),
        Plan("at-errors", "one modem that rejects fax classes 2 and 2.0", {Modem(0, 9, "fax-class1-only", 1)}),
        Plan("silent", "one modem that never answers (slow: every wait runs its full time)",
             {Modem(0, 9, "silent", 1)}),
        Amd64("amd64", "the demo on a 64-bit kernel: the slot table only in /dev/mem", true),
        Amd64("sysfs", "the demo on a 64-bit kernel, no slot table: /sys/bus/pci/slots", false),
    };
    return all;
}

const MachinePlan* MachinePlan::find(const std::string& name)
{
    for (const MachinePlan& plan : named()) {
        if (plan.name == name) {
            return &plan;
        }
    }
    return nullptr;
}

MachinePlan MachinePlan::spread(const std::vector<std::string>& profiles)
{
    MachinePlan plan;
    plan.name = "spread";
    plan.summary = "one modem per profile, eight to a bus";
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        plan.modems.push_back(Modem(static_cast<int>(i / 8) * 2, 16 + static_cast<int>(i % 8), profiles[i].c_str(),
                                    static_cast<std::uint8_t>(i + 1)));
    }
    return plan;
}

SimulatedMachine::SimulatedMachine(const MachinePlan& plan) : m_root(std::make_unique<SimulatedRoot>())
{
    build(plan);
}

SimulatedMachine::SimulatedMachine(const MachinePlan& plan, const std::string& folder)
    : m_root(std::make_unique<SimulatedRoot>(folder))
{
    build(plan);
}

SimulatedMachine::~SimulatedMachine() = default;

void SimulatedMachine::build(const MachinePlan& plan)
{
    if (plan.chipset) {
        m_root->addChipset();
        m_root->addFunction(BridgeToBus2());
    }
    for (const PciFunction& function : plan.others) {
        m_root->addFunction(function);
    }
    IrqRoutingTable table;
    table.address = plan.irqTableAddress;
    for (const PlannedModem& modem : plan.modems) {
        m_root->addModem(modem.bus, modem.device, modem.function);
        if (modem.slot != 0) {
            table.slots.push_back(IrqSlot{static_cast<std::uint8_t>(modem.bus),
                                          static_cast<std::uint8_t>(modem.device << 3 | modem.function),
                                          modem.slot});
        }
        if (!modem.profile.empty()) {
            std::unique_ptr<ModemProfile> profile = ModemProfile::named(modem.profile);
            if (!profile) {
                throw std::runtime_error("no modem profile '" + modem.profile + "'");
            }
            m_modems.push_back(std::make_unique<VirtualModem>(*profile));
            m_root->linkTty(static_cast<int>(m_modems.size()) - 1, m_modems.back()->slavePath());
        }
    }
    if (plan.driverLoaded) {
        std::vector<DriverUseCount::Tty> ttys;
        for (const auto& modem : m_modems) {
            ttys.push_back(DriverUseCount::Tty{modem->slavePath(), modem->ownSlaveDescriptor()});
        }
        SimulatedRoot& root = *m_root;
        m_useCount = std::make_unique<DriverUseCount>(ttys, plan.driverUseCount, plan.releaseDelayMs,
                                                      [&root](int count) { root.setModules(65536, count); });
    }
    if (plan.kernel == MachinePlan::Kernel::Amd64) {
        m_root->setAmd64Kcore();
    } else if (plan.irqTable) {
        m_root->setIrqTable(table);
    }
    if (plan.irqTable) {
        m_root->setDevMem(table);
    } else {
        m_root->setDevMem();
    }
    m_root->setSlotRecords(plan.slotRecords);
}

}  // namespace modemsim
