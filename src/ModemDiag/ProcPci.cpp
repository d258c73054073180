// ProcPci.cpp - PCI configuration space through the procfs files /proc/bus/pci/BB/DD.F.
#include "VelkLinux.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

#include "SystemPath.h"

namespace {

// Buses 0 to 7 are scanned; devices 0-31 with functions 0-7 make 256
// functions per bus, indexed by device << 3 | function (the devfn byte).
const unsigned kScannedBuses = 8;
const unsigned kFunctionsPerBus = 256;

void FormatConfigPath(char* path, std::size_t size, unsigned bus, unsigned devfn)
{
    std::snprintf(path, size, "/proc/bus/pci/%02x/%02x.%x", bus, devfn >> 3, devfn & 7);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Bus folders named as the reader formats them ("%02x"); -1 for any other
// entry, and for buses outside the scanned range.
int ScannedBusNumber(const char* name)
{
    if (std::strlen(name) != 2 || name[0] != '0') {
        return -1;
    }
    const int bus = HexDigit(name[1]);
    return bus >= 0 && static_cast<unsigned>(bus) < kScannedBuses ? bus : -1;
}

// Function files named "%02x.%x" (device 0-31, function 0-7); the devfn
// byte, or -1 for any other entry.
int FunctionNumber(const char* name)
{
    if (std::strlen(name) != 4 || name[2] != '.') {
        return -1;
    }
    const int high = HexDigit(name[0]);
    const int low = HexDigit(name[1]);
    const int function = HexDigit(name[3]);
    if (high < 0 || low < 0 || function < 0 || function > 7) {
        return -1;
    }
    const int device = high * 16 + low;
    return device <= 31 ? device << 3 | function : -1;
}

// Marks present[i] for every entry of a procfs folder that parse() accepts.
// Reports the folder and returns false when it cannot be listed: one line
// that only a broken system shows (procfs always lists its folders), so
// that the log says why nothing was found there.
bool ListFolder(const char* logicalPath, int (*parse)(const char*), bool* present, unsigned count)
{
    DIR* dir = opendir(SystemPath(logicalPath).c_str());
    if (dir == nullptr) {
        ErrorMessage("Unable to list %s: %s", logicalPath, std::strerror(errno));
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        const int index = parse(entry->d_name);
        if (index >= 0 && static_cast<unsigned>(index) < count) {
            present[index] = true;
        }
    }
    closedir(dir);
    return true;
}

// Reads the configuration header of one listed function in a single read.
// Bytes the file does not have stay 0. A short or unreadable file gets one
// line of its own, beyond the contract's silent zero: procfs always serves
// at least the whole header, so only a broken system shows it.
void ReadConfigHeader(unsigned bus, unsigned devfn, std::uint8_t* header)
{
    char path[256];
    FormatConfigPath(path, sizeof path, bus, devfn);
    std::memset(header, 0, kPciHeaderSize);
    const int fd = OpenSystemFile(path);
    if (fd < 0) {
        return;
    }
    std::size_t have = 0;
    while (have < kPciHeaderSize) {
        const ssize_t got = read(fd, header + have, kPciHeaderSize - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ErrorMessage("Unable to read %s: %s", path, std::strerror(errno));
            break;
        }
        if (got == 0) {
            ErrorMessage("Short PCI configuration file %s: %u of %u bytes", path, static_cast<unsigned>(have),
                         static_cast<unsigned>(kPciHeaderSize));
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    close(fd);
}

}  // namespace

extern "C" Boolean InitPciAccess(const char* /*driverPath*/)
{
    // The procfs files need no helper driver.
    return 1;
}

extern "C" void ClosePciAccess(void) {}

extern "C" void SCClose(void) {}

extern "C" std::uint32_t PciCfgReadDword(std::uint32_t devMask, int offset)
{
    char path[256];
    FormatConfigPath(path, sizeof path, (devMask >> 16) & 0xFF, (devMask >> 8) & 0xFF);
    const int fd = OpenSystemFile(path);
    if (fd < 0) {
        return 0;
    }
    // Bytes past the end of the file read as 0.
    std::uint8_t bytes[4] = {0, 0, 0, 0};
    const ssize_t got = pread(fd, bytes, sizeof bytes, offset & 0xFF);
    close(fd);
    if (got <= 0) {
        return 0;
    }
    return LoadLe32(bytes);
}

extern "C" std::uint16_t PciCfgReadWord(std::uint32_t devMask, int offset)
{
    return static_cast<std::uint16_t>(PciCfgReadDword(devMask, offset) & 0xFFFF);
}

void PciScanDevices(std::uint32_t DevID, PciMatchCallback match, void* context)
{
    // Listing the folders first means only functions that exist are opened,
    // instead of trying all 2,048 names of buses 0 to 7.
    bool busPresent[kScannedBuses] = {};
    if (!ListFolder("/proc/bus/pci", ScannedBusNumber, busPresent, kScannedBuses)) {
        return;
    }
    for (unsigned bus = 0; bus < kScannedBuses; ++bus) {
        if (!busPresent[bus]) {
            continue;
        }
        char busPath[64];
        std::snprintf(busPath, sizeof busPath, "/proc/bus/pci/%02x", bus);
        bool present[kFunctionsPerBus] = {};
        if (!ListFolder(busPath, FunctionNumber, present, kFunctionsPerBus)) {
            continue;
        }
        for (unsigned devfn = 0; devfn < kFunctionsPerBus; ++devfn) {
            if (!present[devfn]) {
                continue;
            }
            std::uint8_t header[kPciHeaderSize];
            ReadConfigHeader(bus, devfn, header);
            if (LoadLe32(header) != DevID) {
                continue;
            }
            const std::uint32_t devMask = 0x80000000u | bus << 16 | devfn << 8;
            if (!match(context, devMask, header)) {
                return;
            }
        }
    }
}

namespace {

struct FindContext {
    int remaining;
    std::uint32_t found;
};

bool FindNth(void* context, std::uint32_t devMask, const std::uint8_t* /*header*/)
{
    FindContext* find = static_cast<FindContext*>(context);
    if (find->remaining == 0) {
        find->found = devMask;
        return false;
    }
    --find->remaining;
    return true;
}

}  // namespace

extern "C" std::uint32_t PciFindDevice(std::uint32_t DevID, int nDev)
{
    // A function whose file is missing reads as 0 and never matches, so an
    // ID of 0 finds nothing.
    if (DevID == 0 || nDev < 0) {
        return 0;
    }
    FindContext find = {nDev, 0};
    PciScanDevices(DevID, FindNth, &find);
    return find.found;
}
