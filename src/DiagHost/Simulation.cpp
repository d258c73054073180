// Simulation.cpp - the simulated machines of --simulate, built with libmodemsim.
#include "Simulation.h"

#include <cstdint>
#include <stdexcept>

#include "SimulatedRoot.h"
#include "Text.h"
#include "VirtualModem.h"

namespace diaghost {

namespace {

struct ModemPlan {
    int bus;
    int device;
    const char* profile;  // virtual modem behind the tty; null: no driver tty
    std::uint8_t slot;    // slot in the BIOS table, 0 for none
};

struct MachinePlan {
    const char* name;
    const char* summary;
    std::vector<ModemPlan> modems;
    int useCount;  // the driver module's use count: nonzero means busy
};

// The default machine shows every kind of verdict: a healthy modem, one
// whose line has no dial tone and whose loopback counts errors, and a modem
// function the driver gave no tty.
const std::vector<MachinePlan>& machines()
{
    static const std::vector<MachinePlan> all = {
        {"demo",
         "two modems (one healthy, one with no dial tone and loopback errors) and a modem without driver tty",
         {{0, 9, "healthy", 1}, {0, 10, "nodialtone-loopback-errors", 2}, {2, 4, nullptr, 3}},
         0},
        {"healthy", "one healthy modem", {{0, 9, "healthy", 1}}, 0},
        {"none", "no modem at all, only other PCI devices", {}, 0},
        {"busy", "the demo's two modems while another program holds the driver",
         {{0, 9, "healthy", 1}, {0, 10, "nodialtone-loopback-errors", 2}}, 1},
        {"at-errors", "one modem that rejects fax classes 2 and 2.0", {{0, 9, "fax-class1-only", 1}}, 0},
        {"silent", "one modem that never answers (slow: every wait runs its full time)", {{0, 9, "silent", 1}}, 0},
    };
    return all;
}

const MachinePlan* find(const std::string& name)
{
    for (const MachinePlan& plan : machines()) {
        if (name == plan.name) {
            return &plan;
        }
    }
    return nullptr;
}

}  // namespace

SimulatedMachine::SimulatedMachine(const std::string& profile)
{
    const MachinePlan* plan = find(profile);
    if (plan == nullptr) {
        throw std::runtime_error("unknown simulated machine '" + profile + "'");
    }
    m_summary = plan->summary;
    m_root = std::make_unique<modemsim::SimulatedRoot>();
    m_root->addChipset();

    // A PCI-to-PCI bridge leads to bus 2, where add-in cards may sit too.
    modemsim::PciFunction bridge;
    bridge.device = 0x1e;
    bridge.vendorId = 0x8086;
    bridge.deviceId = 0x244e;
    bridge.subsystemVendorId = 0;
    bridge.subsystemId = 0;
    bridge.classCode = 0x060400;
    bridge.headerType = 0x01;
    bridge.secondaryBus = 2;
    m_root->addFunction(bridge);

    modemsim::IrqRoutingTable table;
    int tty = 0;
    for (const ModemPlan& modem : plan->modems) {
        m_root->addModem(modem.bus, modem.device);
        if (modem.slot != 0) {
            table.slots.push_back(modemsim::IrqSlot{static_cast<std::uint8_t>(modem.bus),
                                                    static_cast<std::uint8_t>(modem.device << 3), modem.slot});
        }
        if (modem.profile != nullptr) {
            std::unique_ptr<modemsim::ModemProfile> shape = modemsim::ModemProfile::named(modem.profile);
            if (!shape) {
                throw std::runtime_error(std::string("no modem profile '") + modem.profile + "'");
            }
            m_modems.push_back(std::make_unique<modemsim::VirtualModem>(*shape));
            m_root->linkTty(tty++, m_modems.back()->slavePath());
        }
    }
    m_root->setModules(65536, plan->useCount);
    m_root->setIrqTable(table);
}

SimulatedMachine::~SimulatedMachine() = default;

const std::string& SimulatedMachine::rootPath() const
{
    return m_root->path();
}

bool SimulatedMachine::known(const std::string& profile)
{
    return find(profile) != nullptr;
}

std::string SimulatedMachine::profilesHelp()
{
    std::string text;
    for (const MachinePlan& plan : machines()) {
        std::string name = plan.name;
        name.resize(11, ' ');
        const std::string line = "  " + name + plan.summary + (name.compare(0, 4, "demo") == 0 ? " (default)" : "");
        for (const std::string& part : wrapWords(line, 79, 13)) {
            text += part + "\n";
        }
    }
    return text;
}

}  // namespace diaghost
