// SimulatedRoot.cpp - writes PCI config files, the devices list, proc/modules, a sparse kcore and tty links.

#include "SimulatedRoot.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace modemsim {

namespace {

// Marks a folder as a simulated root, so that a given folder is only ever
// cleared when it is one.
const char kMarker[] = "/.modemsim-root";

[[noreturn]] void Fail(const std::string& what, const std::string& path)
{
    throw std::runtime_error("simulated root: " + what + " " + path + ": " + std::strerror(errno));
}

void MakeFolders(const std::string& path)
{
    for (std::string::size_type slash = 1; slash != std::string::npos;) {
        slash = path.find('/', slash + 1);
        const std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            Fail("cannot create", prefix);
        }
    }
}

// Removes a file, a link (not what it points to) or a folder tree.
void RemoveTree(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return;
    }
    if (S_ISDIR(info.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR* dir = opendir(path.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    RemoveTree(path + "/" + name);
                }
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

bool FolderIsEmpty(const std::string& path)
{
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return true;
    }
    bool empty = true;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    closedir(dir);
    return empty;
}

void WriteWhole(const std::string& path, const void* data, std::size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail("cannot write", path);
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            close(fd);
            Fail("cannot write", path);
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    close(fd);
}

// Replaces a file whole: written beside it, then renamed over it, so that a
// reader sees the old content or the new, never a part.
void ReplaceWhole(const std::string& path, const std::string& text)
{
    const std::string fresh = path.substr(0, path.rfind('/') + 1) + "." + path.substr(path.rfind('/') + 1) + ".new";
    WriteWhole(fresh, text.data(), text.size());
    if (rename(fresh.c_str(), path.c_str()) != 0) {
        Fail("cannot replace", path);
    }
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

void PutLe16(std::vector<std::uint8_t>& bytes, std::size_t offset, unsigned value)
{
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

bool SameAddress(const PciFunction& a, const PciFunction& b)
{
    return a.bus == b.bus && a.device == b.device && a.function == b.function;
}

bool ScanOrder(const PciFunction& a, const PciFunction& b)
{
    if (a.bus != b.bus) {
        return a.bus < b.bus;
    }
    if (a.device != b.device) {
        return a.device < b.device;
    }
    return a.function < b.function;
}

}  // namespace

SimulatedRoot::SimulatedRoot() : m_temporary(true)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/modemsim-root-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        Fail("cannot create", pattern);
    }
    m_path = buffer.data();
    WriteWhole(m_path + kMarker, "", 0);
    writeDevicesList();
    makeLockFolder();
}

SimulatedRoot::SimulatedRoot(const std::string& folder) : m_path(folder), m_temporary(false)
{
    while (m_path.size() > 1 && m_path.back() == '/') {
        m_path.pop_back();
    }
    if (m_path.empty() || m_path == "/") {
        throw std::runtime_error("simulated root: refusing to use " + folder);
    }
    MakeFolders(m_path);
    // A folder that held a simulated root before is cleared; any other must
    // be empty, so that nothing of value is overwritten.
    struct stat info;
    if (stat((m_path + kMarker).c_str(), &info) == 0) {
        RemoveTree(m_path + "/proc");
        RemoveTree(m_path + "/dev");
        RemoveTree(m_path + "/run");
    } else if (!FolderIsEmpty(m_path)) {
        throw std::runtime_error("simulated root: " + m_path + " is neither empty nor a simulated root");
    }
    WriteWhole(m_path + kMarker, "", 0);
    writeDevicesList();
    makeLockFolder();
}

// run/lock, where programs that share serial ports leave LCK..<tty> files;
// open to everyone, sticky, as on a Debian system.
void SimulatedRoot::makeLockFolder() const
{
    MakeFolders(file("/run/lock"));
    chmod(file("/run/lock").c_str(), 01777);
}

SimulatedRoot::~SimulatedRoot()
{
    if (m_temporary) {
        RemoveTree(m_path);
    }
}

std::string SimulatedRoot::file(const std::string& logicalPath) const
{
    return m_path + logicalPath;
}

std::string SimulatedRoot::sysrootLine() const
{
    return "MODEMDIAG_SYSROOT=" + m_path;
}

void SimulatedRoot::printSysrootLine(std::ostream& out) const
{
    out << sysrootLine() << std::endl;
}

void SimulatedRoot::exportToEnvironment() const
{
    setenv("MODEMDIAG_SYSROOT", m_path.c_str(), 1);
}

std::string SimulatedRoot::configPath(int bus, int device, int function)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/bus/pci/%02x/%02x.%x", static_cast<unsigned>(bus) & 0xFF,
                  static_cast<unsigned>(device) & 0x1F, static_cast<unsigned>(function) & 7);
    return path;
}

std::vector<std::uint8_t> SimulatedRoot::configBytes(const PciFunction& function)
{
    std::vector<std::uint8_t> bytes(function.configSize >= 256 ? 256 : 64, 0);
    PutLe16(bytes, 0x00, function.vendorId);
    PutLe16(bytes, 0x02, function.deviceId);
    PutLe16(bytes, 0x04, 0x0007);  // command: I/O, memory, bus master
    PutLe16(bytes, 0x06, 0x0200);  // status: medium DEVSEL timing
    bytes[0x08] = function.revision;
    bytes[0x09] = static_cast<std::uint8_t>(function.classCode & 0xFF);
    bytes[0x0A] = static_cast<std::uint8_t>((function.classCode >> 8) & 0xFF);
    bytes[0x0B] = static_cast<std::uint8_t>((function.classCode >> 16) & 0xFF);
    bytes[0x0C] = 0x08;  // cache line size
    bytes[0x0D] = 0x20;  // latency timer
    bytes[0x0E] = function.headerType;
    if ((function.headerType & 0x7F) == 0x01) {
        bytes[0x18] = static_cast<std::uint8_t>(function.bus);
        bytes[0x19] = function.secondaryBus;
        bytes[0x1A] = function.secondaryBus;
    } else {
        PutLe16(bytes, 0x2C, function.subsystemVendorId);
        PutLe16(bytes, 0x2E, function.subsystemId);
    }
    bytes[0x3C] = function.irq;
    bytes[0x3D] = function.irq != 0 ? 1 : 0;  // interrupt pin INTA
    return bytes;
}

void SimulatedRoot::writeConfigFile(const PciFunction& function) const
{
    const std::string path = file(configPath(function.bus, function.device, function.function));
    MakeFolders(path.substr(0, path.rfind('/')));
    std::vector<std::uint8_t> bytes = configBytes(function);
    if (function.truncateTo >= 0 && static_cast<std::size_t>(function.truncateTo) < bytes.size()) {
        bytes.resize(static_cast<std::size_t>(function.truncateTo));
    }
    WriteWhole(path, bytes.data(), bytes.size());
}

// The kernel's format: bus and devfn, vendor and device, IRQ, then the six
// base addresses and the ROM address, their seven sizes, and the driver.
void SimulatedRoot::writeDevicesList() const
{
    std::string list;
    for (const PciFunction& function : m_functions) {
        char line[512];
        int length = std::snprintf(line, sizeof line, "%02x%02x\t%04x%04x\t%x", static_cast<unsigned>(function.bus),
                                   static_cast<unsigned>(function.device << 3 | function.function),
                                   static_cast<unsigned>(function.vendorId), static_cast<unsigned>(function.deviceId),
                                   static_cast<unsigned>(function.irq));
        for (int i = 0; i < 14; ++i) {
            length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), "\t%16llx", 0ULL);
        }
        list.append(line, static_cast<std::size_t>(length));
        list += "\t" + function.driver + "\n";
    }
    MakeFolders(file("/proc/bus/pci"));
    WriteWhole(file("/proc/bus/pci/devices"), list.data(), list.size());
}

void SimulatedRoot::addFunction(const PciFunction& function)
{
    if (function.bus < 0 || function.bus > 255 || function.device < 0 || function.device > 31 ||
        function.function < 0 || function.function > 7) {
        throw std::invalid_argument("simulated root: no such PCI address");
    }
    m_functions.erase(std::remove_if(m_functions.begin(), m_functions.end(),
                                     [&](const PciFunction& other) { return SameAddress(other, function); }),
                      m_functions.end());
    m_functions.insert(std::upper_bound(m_functions.begin(), m_functions.end(), function, ScanOrder), function);
    writeConfigFile(function);
    writeDevicesList();
}

void SimulatedRoot::addModem(int bus, int device, int function)
{
    PciFunction modem;
    modem.bus = bus;
    modem.device = device;
    modem.function = function;
    modem.irq = 11;
    modem.driver = "TSYSM";
    addFunction(modem);
}

void SimulatedRoot::addChipset()
{
    struct Other {
        int bus, device, function;
        std::uint16_t vendor, deviceId;
        std::uint32_t classCode;
        std::uint8_t revision, headerType, secondaryBus, irq;
    };
    static const Other kOthers[] = {
        {0, 0, 0, 0x8086, 0x7190, 0x060000, 0x03, 0x00, 0, 0},   // host bridge
        {0, 1, 0, 0x8086, 0x7191, 0x060400, 0x03, 0x01, 1, 0},   // AGP bridge to bus 1
        {0, 7, 0, 0x8086, 0x7110, 0x060100, 0x02, 0x80, 0, 0},   // ISA bridge (multi-function)
        {0, 7, 1, 0x8086, 0x7111, 0x01018A, 0x01, 0x00, 0, 0},   // IDE
        {0, 7, 2, 0x8086, 0x7112, 0x0C0300, 0x01, 0x00, 0, 9},   // USB
        {0, 7, 3, 0x8086, 0x7113, 0x068000, 0x02, 0x00, 0, 9},   // power management
        {0, 11, 0, 0x10EC, 0x8139, 0x020000, 0x10, 0x00, 0, 10}, // Ethernet
        {0, 13, 0, 0x1274, 0x1371, 0x040100, 0x08, 0x00, 0, 5},  // sound
        {1, 0, 0, 0x10DE, 0x0110, 0x030000, 0xA1, 0x00, 0, 11},  // video
    };
    for (const Other& other : kOthers) {
        PciFunction function;
        function.bus = other.bus;
        function.device = other.device;
        function.function = other.function;
        function.vendorId = other.vendor;
        function.deviceId = other.deviceId;
        function.subsystemVendorId = other.vendor;
        function.subsystemId = 0;
        function.classCode = other.classCode;
        function.revision = other.revision;
        function.headerType = other.headerType;
        function.secondaryBus = other.secondaryBus;
        function.irq = other.irq;
        addFunction(function);
    }
}

void SimulatedRoot::removeFunction(int bus, int device, int function)
{
    m_functions.erase(std::remove_if(m_functions.begin(), m_functions.end(),
                                     [&](const PciFunction& other) {
                                         return other.bus == bus && other.device == device &&
                                                other.function == function;
                                     }),
                      m_functions.end());
    unlink(file(configPath(bus, device, function)).c_str());
    writeDevicesList();
}

void SimulatedRoot::setModules(unsigned long size, int useCount)
{
    char line[160];
    std::snprintf(line, sizeof line, "TSYSM %lu %d - Live 0xe088f000 (OE)\n", size, useCount);
    std::string text = "snd_pcm 114688 0 - Live 0x0000000000000000\n";
    text += line;
    text += "serial_core 36864 1 TSYSM, Live 0x0000000000000000\n";
    setModulesText(text);
}

void SimulatedRoot::setModulesText(const std::string& text)
{
    MakeFolders(file("/proc"));
    ReplaceWhole(file("/proc/modules"), text);
}

void SimulatedRoot::removeModules()
{
    RemoveTree(file("/proc/modules"));
}

void SimulatedRoot::setKcore(std::uint64_t size)
{
    MakeFolders(file("/proc"));
    const std::string path = file("/proc/kcore");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Fail("cannot create", path);
    }
    // Sparse: only the header and what is written later take disk space.
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        close(fd);
        Fail("cannot size", path);
    }
    if (size >= kKcoreDataOffset) {
        const std::vector<std::uint8_t> header = kcoreHeader(size);
        if (pwrite(fd, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) {
            close(fd);
            Fail("cannot write", path);
        }
    }
    close(fd);
}

// An ELF32 core header as the i386 kernel writes it for /proc/kcore: a note
// segment, then the low-memory segment, mapped at the kernel's base
// 0xC0000000 and found kKcoreDataOffset bytes into the file.
std::vector<std::uint8_t> SimulatedRoot::kcoreHeader(std::uint64_t size)
{
    const std::uint32_t kElfHeaderSize = 52;
    const std::uint32_t kProgramHeaderSize = 32;
    std::vector<std::uint8_t> bytes(kElfHeaderSize + 2 * kProgramHeaderSize, 0);
    const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', 1 /* 32-bit */, 1 /* little-endian */, 1 /* version */};
    std::copy(std::begin(ident), std::end(ident), bytes.begin());
    PutLe16(bytes, 16, 4);  // ET_CORE
    PutLe16(bytes, 18, 3);  // EM_386
    PutLe32(bytes, 20, 1);  // EV_CURRENT
    PutLe32(bytes, 28, kElfHeaderSize);  // program headers right after
    PutLe16(bytes, 40, kElfHeaderSize);
    PutLe16(bytes, 42, kProgramHeaderSize);
    PutLe16(bytes, 44, 2);
    std::size_t at = kElfHeaderSize;
    PutLe32(bytes, at, 4);  // PT_NOTE, empty
    PutLe32(bytes, at + 4, kElfHeaderSize + 2 * kProgramHeaderSize);
    at += kProgramHeaderSize;
    const std::uint32_t lowMemory = static_cast<std::uint32_t>(size - kKcoreDataOffset);
    PutLe32(bytes, at, 1);  // PT_LOAD
    PutLe32(bytes, at + 4, static_cast<std::uint32_t>(kKcoreDataOffset));
    PutLe32(bytes, at + 8, 0xC0000000);  // virtual address
    PutLe32(bytes, at + 12, 0);          // physical address
    PutLe32(bytes, at + 16, lowMemory);
    PutLe32(bytes, at + 20, lowMemory);
    PutLe32(bytes, at + 24, 7);  // read, write, execute
    PutLe32(bytes, at + 28, 0x1000);
    return bytes;
}

void SimulatedRoot::writeKcore(std::uint64_t physicalAddress, const std::vector<std::uint8_t>& bytes)
{
    const std::string path = file("/proc/kcore");
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        setKcore();
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail("cannot open", path);
    }
    const ssize_t written = pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(kcoreOffset(physicalAddress)));
    close(fd);
    if (written != static_cast<ssize_t>(bytes.size())) {
        Fail("cannot write", path);
    }
}

std::vector<std::uint8_t> SimulatedRoot::irqTableBytes(const IrqRoutingTable& table)
{
    const std::size_t trueSize = 32 + 16 * table.slots.size();
    const std::size_t declared = table.tableSize >= 0 ? static_cast<std::size_t>(table.tableSize) : trueSize;

    std::uint8_t header[32] = {'$', 'P', 'I', 'R'};
    header[4] = table.minorVersion;
    header[5] = table.majorVersion;
    header[6] = static_cast<std::uint8_t>(declared & 0xFF);
    header[7] = static_cast<std::uint8_t>((declared >> 8) & 0xFF);
    header[8] = table.routerBus;
    header[9] = table.routerDevFunc;

    std::vector<std::uint8_t> bytes(header, header + sizeof header);
    for (const IrqSlot& slot : table.slots) {
        std::uint8_t entry[16] = {slot.bus, slot.devFunc};
        entry[2] = 0x60;  // INTA link value
        entry[3] = 0xB8;  // IRQs 3-5, 7, 9-12, 14, 15
        entry[4] = 0xDE;
        entry[14] = slot.slotNumber;
        bytes.insert(bytes.end(), entry, entry + sizeof entry);
    }
    // The checksum covers the declared size; bytes past the written ones
    // are zeros in the image and add nothing.
    unsigned sum = 0;
    for (std::size_t i = 0; i < std::min(declared, trueSize); ++i) {
        sum += i == 31 ? 0 : bytes.at(i);
    }
    bytes.at(31) = static_cast<std::uint8_t>((256 - (sum & 0xFF)) + table.checksumError);
    return bytes;
}

void SimulatedRoot::setIrqTable(const IrqRoutingTable& table, std::uint64_t kcoreSize)
{
    setKcore(kcoreSize);
    writeKcore(table.address, irqTableBytes(table));
}

void SimulatedRoot::removeKcore()
{
    RemoveTree(file("/proc/kcore"));
}

std::string SimulatedRoot::ttyPath(int n)
{
    return "/dev/ttySM" + std::to_string(n);
}

void SimulatedRoot::linkTty(int n, const std::string& target)
{
    MakeFolders(file("/dev"));
    const std::string path = file(ttyPath(n));
    RemoveTree(path);
    if (symlink(target.c_str(), path.c_str()) != 0) {
        Fail("cannot link", path);
    }
}

void SimulatedRoot::makeTtyNode(int n, TtyNode kind)
{
    MakeFolders(file("/dev"));
    const std::string path = file(ttyPath(n));
    RemoveTree(path);
    switch (kind) {
    case TtyNode::RegularFile:
        WriteWhole(path, "", 0);
        break;
    case TtyNode::Folder:
        if (mkdir(path.c_str(), 0755) != 0) {
            Fail("cannot create", path);
        }
        break;
    case TtyNode::Fifo:
        if (mkfifo(path.c_str(), 0644) != 0) {
            Fail("cannot create", path);
        }
        break;
    }
}

void SimulatedRoot::removeTty(int n)
{
    RemoveTree(file(ttyPath(n)));
}

}  // namespace modemsim
