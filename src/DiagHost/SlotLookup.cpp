// SlotLookup.cpp - a slot the plug-in did not find: the firmware's table through /dev/mem, else the kernel's records.
#include "SlotLookup.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace diaghost {

namespace {

const std::size_t kHeaderSize = 32;
const std::size_t kEntrySize = 16;

// Reads at most size bytes of path at offset; the count read, -1 with errno
// set when the file cannot be opened or read. One read does: a regular file
// and /dev/mem give all they have, and the termination signals are blocked.
long readAt(const std::string& path, void* buffer, std::size_t size, off_t offset)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const ssize_t got = pread(fd, buffer, size, offset);
    const int error = errno;
    close(fd);
    errno = error;
    return static_cast<long>(got);
}

// A slot record's address file: "DOMAIN:BUS:DEVICE" in hex and a line feed
// (a record of a whole bus, "DOMAIN:BUS", names no device). False for
// anything else.
bool parseRecordAddress(const std::string& text, SlotLookup::RecordKey& key)
{
    int used = 0;
    return !text.empty() && text.size() <= 17 && text.back() == '\n' &&
           text.find_first_not_of("0123456789abcdefABCDEF:\n") == std::string::npos &&
           std::sscanf(text.c_str(), "%x:%x:%x%n", &key[0], &key[1], &key[2], &used) == 3 &&
           static_cast<std::size_t>(used) == text.size() - 1 && key[1] <= 0xFF && key[2] <= 31;
}

// A slot record's name as a slot number: decimal digits, 1 to 255 as the
// firmware's table numbers slots; -1 for any other name.
int slotOfName(const char* name)
{
    int slot = 0;
    const char* end = name + std::strlen(name);
    const std::from_chars_result read = std::from_chars(name, end, slot);
    return read.ec == std::errc() && read.ptr == end && slot >= 1 && slot <= 255 ? slot : -1;
}

}  // namespace

bool decodeIrqTable(const std::uint8_t* area, std::size_t size, std::vector<IrqSlotEntry>& entries,
                    std::string& problem)
{
    entries.clear();
    std::size_t at = 0;
    while (at + kHeaderSize <= size && std::memcmp(area + at, "$PIR", 4) != 0) {
        at += 16;
    }
    if (at + kHeaderSize > size) {
        problem = "no IRQ routing table in the firmware's area";
        return false;
    }
    // Multi-byte fields byte by byte: the copy has no alignment to count on.
    const std::uint8_t* table = area + at;
    const unsigned version = table[4] | table[5] << 8;
    const std::size_t length = static_cast<std::size_t>(table[6] | table[7] << 8);
    unsigned sum = 0;
    const bool sized = length >= kHeaderSize && length % kEntrySize == 0 && at + length <= size;
    for (std::size_t i = 0; sized && i < length; ++i) {
        sum += table[i];
    }
    if (version != 0x0100 || !sized || sum % 256 != 0) {
        char where[16];
        std::snprintf(where, sizeof where, "0x%X", static_cast<unsigned>(kFirmwareAreaStart + at));
        problem = std::string("the firmware's IRQ routing table at ") + where + " is invalid (" +
                  (version != 0x0100 ? "version" : !sized ? "size" : "checksum") + ")";
        return false;
    }
    for (std::size_t entry = kHeaderSize; entry < length; entry += kEntrySize) {
        entries.push_back({table[entry], static_cast<std::uint8_t>(table[entry + 1] >> 3), table[entry + 14]});
    }
    return true;
}

int slotInTable(const std::vector<IrqSlotEntry>& entries, unsigned bus, unsigned device)
{
    const auto entry = std::find_if(entries.begin(), entries.end(),
                                    [&](const IrqSlotEntry& e) { return e.bus == bus && e.device == device; });
    return entry != entries.end() ? entry->slot : -1;
}

void SlotLookup::readFirmware()
{
    m_firmwareRead = true;
    const std::string path = m_sysroot + "/dev/mem";
    std::vector<std::uint8_t> area(kFirmwareAreaSize);
    const long got = readAt(path, area.data(), area.size(), kFirmwareAreaStart);
    if (got < 0) {
        const int error = errno;
        m_firmwareProblem = "/dev/mem: " + std::string(std::strerror(error));
        if (error == EACCES || error == EPERM) {
            m_firmwareProblem += "; only root may read it";
        }
        return;
    }
    decodeIrqTable(area.data(), static_cast<std::size_t>(got), m_table, m_firmwareProblem);
}

void SlotLookup::readSlotRecords()
{
    m_recordsRead = true;
    const std::string folder = m_sysroot + "/sys/bus/pci/slots";
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        m_recordsProblem = "no slot records in /sys/bus/pci/slots";
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const int slot = slotOfName(entry->d_name);
        if (slot < 0) {
            continue;
        }
        char text[64];
        const long got = readAt(folder + "/" + entry->d_name + "/address", text, sizeof text - 1, 0);
        RecordKey key{};
        // Several records of one device (a driver's and the firmware's):
        // the lowest number, so the answer does not depend on readdir's order.
        if (got > 0 && parseRecordAddress(std::string(text, static_cast<std::size_t>(got)), key) &&
            (m_records.count(key) == 0 || slot < m_records[key])) {
            m_records[key] = slot;
        }
    }
    closedir(dir);
}

SlotAnswer SlotLookup::find(unsigned domain, unsigned bus, unsigned device)
{
    if (!m_firmwareRead) {
        readFirmware();
    }
    // The firmware's table (empty when it was not read whole) knows only
    // the first PCI domain.
    const int fromTable = domain == 0 ? slotInTable(m_table, bus, device) : -1;
    if (fromTable >= 0) {
        return {fromTable, SlotSource::Firmware};
    }
    m_firmwareMissed = true;
    if (!m_recordsRead) {
        readSlotRecords();
    }
    const auto record = m_records.find({domain, bus, device});
    if (record != m_records.end()) {
        return {record->second, SlotSource::Sysfs};
    }
    m_missed = true;
    return {};
}

std::string SlotLookup::firmwareProblem() const
{
    if (!m_firmwareMissed) {
        return "";
    }
    return m_firmwareProblem.empty() ? "the firmware's IRQ routing table lists no such device" : m_firmwareProblem;
}

std::string SlotLookup::problem() const
{
    if (!m_missed) {
        return "";
    }
    return firmwareProblem() + "; " +
           (m_recordsProblem.empty() ? "no slot record for it in /sys/bus/pci/slots" : m_recordsProblem);
}

}  // namespace diaghost
