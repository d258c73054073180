// VelkLinux.cpp - Linux procfs access: PCI configuration files, /proc/modules, /proc/kcore, driver ttys.

#include "VelkLinux.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "SystemPath.h"

namespace {

// The driver module whose use count tells whether the modems are busy.
const char kDriverModule[] = "TSYSM";
const std::size_t kDriverModuleLength = sizeof kDriverModule - 1;

// Buses 0 to 7 are scanned; devices 0-31 with functions 0-7 make 256
// functions per bus, indexed by device << 3 | function (the devfn byte).
const unsigned kScannedBuses = 8;
const unsigned kFunctionsPerBus = 256;

void FormatConfigPath(char* path, std::size_t size, unsigned bus, unsigned devfn)
{
    std::snprintf(path, size, "/proc/bus/pci/%02x/%02x.%x", bus, devfn >> 3, devfn & 7);
}

// Opens a procfs file for reading without ever blocking (a FIFO planted in
// its place must not hang the host); -1 when it cannot be opened.
int OpenProcFile(const char* logicalPath)
{
    return open(SystemPath(logicalPath).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
// Reports the folder and returns false when it cannot be listed.
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
// Bytes the file does not have stay 0; a short or unreadable file is
// reported, since procfs always serves at least the whole header.
void ReadConfigHeader(unsigned bus, unsigned devfn, std::uint8_t* header)
{
    char path[256];
    FormatConfigPath(path, sizeof path, bus, devfn);
    std::memset(header, 0, kPciHeaderSize);
    const int fd = OpenProcFile(path);
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
    const int fd = OpenProcFile(path);
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

extern "C" Boolean ModemsInUse(void)
{
    const int fd = OpenProcFile("/proc/modules");
    if (fd < 0) {
        return 0;
    }
    FILE* modules = fdopen(fd, "r");
    if (modules == nullptr) {
        close(fd);
        return 0;
    }
    Boolean inUse = 0;
    bool longLine = false;
    char line[512];
    while (std::fgets(line, sizeof line, modules) != nullptr) {
        // A line longer than the buffer arrives in pieces, each taken as a line.
        const std::size_t length = std::strlen(line);
        if (length == sizeof line - 1 && line[length - 1] != '\n') {
            longLine = true;
        }
        // "TSYSMX" is another module: the name must end in white space.
        if (std::strncmp(line, kDriverModule, kDriverModuleLength) != 0 ||
            !std::isspace(static_cast<unsigned char>(line[kDriverModuleLength]))) {
            continue;
        }
        // Module size, then use count. Out-of-range numbers saturate and so
        // still count as nonzero.
        const char* sizeText = line + kDriverModuleLength;
        char* end = nullptr;
        const long long size = std::strtoll(sizeText, &end, 10);
        if (end == sizeText) {
            ErrorMessage("Unreadable %s line in /proc/modules", kDriverModule);
            continue;
        }
        if (size != 0) {
            const long long useCount = std::strtoll(end, nullptr, 10);
            if (useCount != 0) {
                inUse = 1;
            }
        }
    }
    if (longLine) {
        ErrorMessage("/proc/modules has lines longer than %u bytes, read in pieces",
                     static_cast<unsigned>(sizeof line - 1));
    }
    std::fclose(modules);
    return inUse;
}

extern "C" FILE* InitPhysMem(void)
{
    // Not blocking on open keeps a FIFO in its place from hanging the host.
    const int fd = OpenProcFile("/proc/kcore");
    FILE* kcore = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (kcore == nullptr) {
        if (fd >= 0) {
            close(fd);
        }
        ErrorMessage("Failed to open /proc/kcore");
        return kInvalidPhysMem;
    }
    return kcore;
}

extern "C" int ClosePhysMem(FILE* fPhysMem)
{
    if (fPhysMem == nullptr || fPhysMem == kInvalidPhysMem || std::fclose(fPhysMem) != 0) {
        ErrorMessage("Error closing /proc/kcore");
        return -1;
    }
    return 0;
}

extern "C" std::uint32_t ReadPhysMem(FILE* fPhysMem, std::uint32_t address, void* buffer, std::size_t nBytes)
{
    if (fPhysMem == nullptr || fPhysMem == kInvalidPhysMem ||
        fseeko(fPhysMem, static_cast<off_t>(address), SEEK_SET) != 0) {
        ErrorMessage("Failed to seek in /proc/kcore");
        return 0xFFFFFFFFu;
    }
    if (std::fread(buffer, 1, nBytes, fPhysMem) != nBytes) {
        ErrorMessage("Failed to read in /proc/kcore");
        return 0xFFFFFFFFu;
    }
    return 0;
}

std::size_t ReadPhysMemAvailable(FILE* fPhysMem, std::uint32_t address, void* buffer, std::size_t nBytes)
{
    if (fPhysMem == nullptr || fPhysMem == kInvalidPhysMem ||
        fseeko(fPhysMem, static_cast<off_t>(address), SEEK_SET) != 0) {
        return 0;
    }
    const std::size_t got = std::fread(buffer, 1, nBytes, fPhysMem);
    std::clearerr(fPhysMem);
    return got;
}

namespace {

// What a tty node is when it is not a character device, for the report.
const char* NodeKind(mode_t mode)
{
    if (S_ISREG(mode)) {
        return "regular file";
    }
    if (S_ISDIR(mode)) {
        return "folder";
    }
    if (S_ISFIFO(mode)) {
        return "FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "socket";
    }
    return "special file";
}

}  // namespace

BOOL CheckModemVersion(const char* comPort, char* version, long cbVersion)
{
    const HANDLE port = PortOpen(comPort);
    if (port == -1) {
        return FALSE;
    }
    if (!PortSetup(port)) {
        PortClose(port);
        return FALSE;
    }
    PortPrintf(port, "ate0\r");
    PortWaitFor(port, "OK\r", 1000);

    // One spare zero byte keeps the line a string even when PortReadLine
    // fills all 256 bytes without a carriage return.
    char line[257];
    std::memset(line, 0, sizeof line);
    PortPrintf(port, "ati3\r");
    PortReadLine(port, line, 256, 1000);
    PortWaitFor(port, "OK\r", 1000);

    static const char kVersionTag[] = "Version ";
    const char* found = std::strstr(line, kVersionTag);
    if (found == nullptr || version == nullptr || cbVersion <= 0) {
        PortClose(port);
        return FALSE;
    }
    std::strncpy(version, found + sizeof kVersionTag - 1, static_cast<std::size_t>(cbVersion));
    PortClose(port);
    return TRUE;
}

extern "C" int BuildDeviceTable(devDetailStruct* devDetails, std::uint32_t* numEntries, const char* /*productName*/)
{
    ProgressMessage("Function started");
    if (devDetails == nullptr || numEntries == nullptr) {
        ErrorMessage("No table to fill");
        return -1;
    }
    const std::uint32_t capacity = *numEntries;
    std::memset(devDetails, 0, capacity * sizeof *devDetails);

    // The ttys are numbered without gaps from 0: the first missing number
    // ends the table, so entry n always describes the tty numbered n.
    std::uint32_t count = 0;
    while (count < capacity) {
        char path[64];
        std::snprintf(path, sizeof path, "/dev/ttySM%u", static_cast<unsigned>(count));
        struct stat info;
        if (stat(SystemPath(path).c_str(), &info) != 0) {
            break;
        }
        devDetailStruct& entry = devDetails[count];
        // At most 16 bytes; the cleared entry supplies the zero padding.
        std::memcpy(entry.comPort, path, strnlen(path, sizeof entry.comPort));
        // Any node counts; one that is no tty gets its version query refused
        // by the serial layer at once, and is named here.
        if (!S_ISCHR(info.st_mode)) {
            ErrorMessage("%s is a %s, not a tty", path, NodeKind(info.st_mode));
        }
        CheckModemVersion(entry.comPort, entry.driverVersion, sizeof entry.driverVersion);
        entry.bus = -1;
        ++count;
    }

    *numEntries = count;
    ProgressMessage("Normal exit");
    return 0;
}
