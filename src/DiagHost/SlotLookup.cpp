// SlotLookup.cpp - a slot the plug-in did not find: the firmware's table through /dev/mem, else the kernel's records.
#include "SlotLookup.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "IrqTable.h"

namespace diaghost {

const std::size_t kFirmwareAreaSize = irqtable::kAreaSize;

namespace {

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

bool decodeIrqTable(const std::uint8_t* area, std::size_t size, std::vector<std::uint8_t>& table,
                    std::string& problem)
{
    table.clear();
    std::size_t at = 0;
    while (at + irqtable::kHeaderSize <= size && !irqtable::IsSignature(area + at)) {
        at += irqtable::kStep;
    }
    if (at + irqtable::kHeaderSize > size) {
        problem = "no IRQ routing table in the firmware's area";
        return false;
    }
    const irqtable::Fault fault = irqtable::Check(area + at, size - at);
    if (fault != irqtable::Fault::None) {
        char where[16];
        std::snprintf(where, sizeof where, "0x%X", static_cast<unsigned>(irqtable::kAreaStart + at));
        const char* part = fault == irqtable::Fault::Version ? "version"
                           : fault == irqtable::Fault::Size  ? "size"
                                                             : "checksum";
        problem = std::string("the firmware's IRQ routing table at ") + where + " is invalid (" + part + ")";
        return false;
    }
    table.assign(area + at, area + at + irqtable::Length(area + at));
    return true;
}

void SlotLookup::readFirmware()
{
    m_firmwareRead = true;
    const std::string path = m_sysroot + "/dev/mem";
    std::vector<std::uint8_t> area(kFirmwareAreaSize);
    const long got = readAt(path, area.data(), area.size(), irqtable::kAreaStart);
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
    const int fromTable = domain == 0 ? irqtable::SlotOf(m_table.data(), m_table.size(), bus, device) : -1;
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
