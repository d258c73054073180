// SlotLookup.h - a slot the plug-in did not find: the firmware's table through /dev/mem, else the kernel's records.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace diaghost {

// Where a slot number came from. The plug-in reads the firmware's table
// through /proc/kcore, which a 64-bit kernel does not map there; the host
// then reads it through /dev/mem, or takes the kernel's slot records.
enum class SlotSource { Unknown, Kcore, Firmware, Sysfs };

// Per source, in the enumeration's order: its name in the reports and, for a
// slot diaghost found itself, its mark in a table and where it was found.
struct SlotSourceInfo {
    const char* name;
    const char* mark;
    const char* where;
};
inline constexpr SlotSourceInfo kSlotSources[] = {
    {"", "", nullptr},
    {"kcore", "", nullptr},
    {"firmware", "*", "the firmware's table, read through /dev/mem"},
    {"sysfs", "+", "the kernel's record in /sys/bus/pci/slots"},
};

inline const SlotSourceInfo& describe(SlotSource source)
{
    return kSlotSources[static_cast<int>(source)];
}

// How many bytes of physical memory the firmware's area is, from its start.
extern const std::size_t kFirmwareAreaSize;

// Finds the routing table in a copy of the firmware's area (size bytes from
// its start on): the first signature on the table's 16-byte grid, checked
// by the plug-in's rules. The sound table's bytes in table; false with the
// reason in problem (a text for people).
bool decodeIrqTable(const std::uint8_t* area, std::size_t size, std::vector<std::uint8_t>& table,
                    std::string& problem);

// Slot 0 with a source is "built into the system board", with Unknown "not known".
struct SlotAnswer {
    int slot = 0;
    SlotSource source = SlotSource::Unknown;
};

// Looks slots up below a system root ("" for the real one), reading each
// source at most once: <root>/dev/mem for the firmware's table, then
// <root>/sys/bus/pci/slots/<slot number>/address.
class SlotLookup {
public:
    using RecordKey = std::array<unsigned, 3>;  // domain, bus, device

    explicit SlotLookup(std::string sysroot) : m_sysroot(std::move(sysroot)) {}

    SlotAnswer find(unsigned domain, unsigned bus, unsigned device);

    // Why the firmware's table gave no slot for a device: "" when it always did.
    std::string firmwareProblem() const;
    // Why neither source gave a slot: "" when every slot asked for was found.
    std::string problem() const;

private:
    void readFirmware();
    void readSlotRecords();

    std::string m_sysroot;
    bool m_firmwareRead = false;
    std::vector<std::uint8_t> m_table;  // the routing table's bytes, empty when it was not sound
    std::string m_firmwareProblem;  // "" when the table was read whole
    bool m_recordsRead = false;
    std::map<RecordKey, int> m_records;  // slot of each {domain, bus, device}
    std::string m_recordsProblem;
    bool m_firmwareMissed = false;
    bool m_missed = false;
};

}  // namespace diaghost
