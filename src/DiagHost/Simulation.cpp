// Simulation.cpp - the simulated machines of --simulate: libmodemsim's named machine plans.
#include "Simulation.h"

#include <stdexcept>

#include "MachinePlan.h"
#include "Text.h"

namespace diaghost {

SimulatedMachine::SimulatedMachine(const std::string& profile)
{
    const modemsim::MachinePlan* plan = modemsim::MachinePlan::find(profile);
    if (plan == nullptr) {
        throw std::runtime_error("unknown simulated machine '" + profile + "'");
    }
    m_summary = plan->summary;
    m_machine = std::make_unique<modemsim::SimulatedMachine>(*plan);
}

SimulatedMachine::~SimulatedMachine() = default;

const std::string& SimulatedMachine::rootPath() const
{
    return m_machine->root().path();
}

bool SimulatedMachine::known(const std::string& profile)
{
    return modemsim::MachinePlan::find(profile) != nullptr;
}

std::string SimulatedMachine::profilesHelp()
{
    std::string text;
    for (const modemsim::MachinePlan& plan : modemsim::MachinePlan::named()) {
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
