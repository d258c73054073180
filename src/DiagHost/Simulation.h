// Simulation.h - simulated machines that --simulate stands up for one run.
#pragma once

#include <memory>
#include <string>

namespace modemsim {
class SimulatedMachine;
}  // namespace modemsim

namespace diaghost {

// A simulated machine: one of libmodemsim's named machine plans, stood up
// in a temporary system root (PCI functions, driver module line, BIOS slot
// table, tty links) with the virtual modems its ttys lead to. Everything
// goes when the object does.
class SimulatedMachine {
public:
    // Builds the named machine; throws std::runtime_error when the folder
    // or a pseudo-terminal cannot be made. The name must be known.
    explicit SimulatedMachine(const std::string& profile);
    ~SimulatedMachine();
    SimulatedMachine(const SimulatedMachine&) = delete;
    SimulatedMachine& operator=(const SimulatedMachine&) = delete;

    const std::string& rootPath() const;
    const std::string& summary() const { return m_summary; }

    static bool known(const std::string& profile);
    // One line per machine, "  name  what it shows".
    static std::string profilesHelp();

private:
    std::unique_ptr<modemsim::SimulatedMachine> m_machine;
    std::string m_summary;
};

}  // namespace diaghost
