// SimulatedRoot.h - a folder that stands in for a machine's /proc and /dev under MODEMDIAG_SYSROOT.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "IrqRoutingTable.h"
#include "SimProcPci.h"
#include "SimSysfsSlots.h"

namespace modemsim {

// Kinds of node for a dev/ttySM<n> that is no tty.
enum class TtyNode { RegularFile, Folder, Fifo };

// A simulated system root: a folder holding, below the logical paths the
// plug-in resolves through MODEMDIAG_SYSROOT,
//   proc/bus/pci/BB/DD.F   configuration space files of the PCI functions,
//   proc/bus/pci/devices   the kernel's list of them (same format, so that
//                          `lspci -A linux-proc -O proc.path=ROOT/proc/bus/pci`
//                          lists the same tree),
//   proc/modules           the driver module's line with its use count,
//                          replaced whole on each change (readers never see
//                          a half-written list),
//   proc/kcore             a sparse memory image with a BIOS IRQ routing
//                          table, laid out as the i386 kernel lays out its
//                          own: an ELF core file whose low-memory segment
//                          (physical 0 upward) starts kKcoreDataOffset bytes
//                          in, after the header; or as the amd64 kernel
//                          lays out its own, with no firmware area at all,
//   dev/mem                physical memory's low megabyte, holding the table,
//   sys/bus/pci/slots      the kernel's slot records (name/address),
//   dev/ttySM<n>           symbolic links to tty paths (VirtualModem::slavePath()),
//   run/lock               the serial-port lock folder (LCK..ttySM<n> files).
// One file writes each format, as one file of the plug-in reads it:
// SimProcPci.cpp, SimProcModules.cpp, SimProcKcore.cpp, SimDevMem.cpp (the
// table's bytes from IrqRoutingTable.cpp), SimSysfsSlots.cpp; this class's
// own file keeps the folder and the tty links. Every setter rewrites what it owns at once, so a root can be changed
// between two enumerations. Failures to write the folder throw
// std::runtime_error.
//
// A machine with two modems in slots 1 and 2, a third modem function
// without a driver tty, and other devices around them:
//
//   modemsim::VirtualModem m0, m1;
//   modemsim::SimulatedRoot root;             // temporary folder
//   root.addChipset();                        // bridges, IDE, USB, video
//   root.addModem(0, 9);                      // 00:09.0
//   root.addModem(0, 10);                     // 00:0a.0
//   root.addModem(2, 4);                      // 02:04.0, no tty
//   root.linkTty(0, m0.slavePath());
//   root.linkTty(1, m1.slavePath());
//   root.setModules(65536, 0);                // loaded, not in use
//   modemsim::IrqRoutingTable pir;
//   pir.slots = {{0, 9 << 3, 1}, {0, 10 << 3, 2}};
//   root.setIrqTable(pir);
//   root.exportToEnvironment();               // MODEMDIAG_SYSROOT=<root.path()>
class SimulatedRoot {
public:
    // A fresh temporary folder under $TMPDIR (or /tmp), removed with its
    // content when the object goes.
    SimulatedRoot();
    // The given folder, created when missing and kept afterwards (its
    // simulated files are left in place for inspection).
    explicit SimulatedRoot(const std::string& folder);
    ~SimulatedRoot();
    SimulatedRoot(const SimulatedRoot&) = delete;
    SimulatedRoot& operator=(const SimulatedRoot&) = delete;

    const std::string& path() const { return m_path; }
    // The real path of a logical one: path() + logicalPath.
    std::string file(const std::string& logicalPath) const;

    // "MODEMDIAG_SYSROOT=<path>", the line to hand to a shell or a host.
    std::string sysrootLine() const;
    void printSysrootLine(std::ostream& out) const;
    // Sets MODEMDIAG_SYSROOT in this process (for in-process tests).
    void exportToEnvironment() const;

    // --- PCI configuration space ---
    // Adds a function (replacing one at the same address) and rewrites its
    // configuration file and the devices list.
    void addFunction(const PciFunction& function);
    // A modem function with the plug-in's IDs at bus/device/function.
    void addModem(int bus, int device, int function = 0);
    // Typical other devices: host bridge 00:00.0, AGP bridge 00:01.0 to bus
    // 1 with a video card 01:00.0, a multi-function south bridge 00:07.0-3
    // (ISA bridge, IDE, USB, power management), an Ethernet card 00:0b.0
    // and a sound card 00:0d.0. No modem among them.
    void addChipset();
    void removeFunction(int bus, int device, int function);
    const std::vector<PciFunction>& functions() const { return m_functions; }
    // Configuration bytes of a function as written (before truncation).
    static std::vector<std::uint8_t> configBytes(const PciFunction& function);
    // Logical path of a function's file, "/proc/bus/pci/BB/DD.F".
    static std::string configPath(int bus, int device, int function);

    // --- proc/modules ---
    // A module list with the driver's line "TSYSM <size> <useCount> - Live ...
    // (OE)", taint flags at its end as the kernel shows them for an
    // out-of-tree, unsigned module. Safe to call from another thread than
    // the other setters (the use count model does).
    void setModules(unsigned long size, int useCount);
    // The file exactly as given (for malformed lists).
    void setModulesText(const std::string& text);
    void removeModules();

    // --- proc/kcore ---
    // Default size: 2 MiB, past the end of the BIOS range.
    static const std::uint64_t kDefaultKcoreSize = 0x200000;
    // The i386 kernel's layout, made by the calls below but setAmd64Kcore.
    // Where physical address 0 lies in the image: the i386 kernel puts its
    // low-memory segment 8 KiB into /proc/kcore, after the ELF header. A
    // reader that takes file offsets for physical addresses (as the slot
    // lookup does) reads 8 KiB lower than it means, so a table in the top
    // 8 KiB of the BIOS range is out of its reach, on the real kernel and
    // here alike.
    static const std::uint64_t kKcoreDataOffset = 0x2000;
    // Offset in the image of a physical address.
    static std::uint64_t kcoreOffset(std::uint64_t physicalAddress) { return physicalAddress + kKcoreDataOffset; }
    // A sparse image of the given file size: the ELF header, then zeros.
    void setKcore(std::uint64_t size = kDefaultKcoreSize);
    // A sparse image holding the table at physical table.address.
    void setIrqTable(const IrqRoutingTable& table, std::uint64_t kcoreSize = kDefaultKcoreSize);
    // Writes bytes at a physical address of the image (made with setKcore
    // when missing), for example a "$PIR" off the 16-byte grid.
    void writeKcore(std::uint64_t physicalAddress, const std::vector<std::uint8_t>& bytes);
    // The amd64 kernel's layout: an ELF64 core whose segments lie at the
    // offsets of their kernel virtual addresses, low memory terabytes in, so
    // that no part of it holds the firmware area and the file offsets
    // 0xF0000-0xFFFFF read as zeros. Readable by its owner only, as the
    // kernel makes it.
    void setAmd64Kcore();
    void removeKcore();

    // --- dev/mem ---
    // Physical memory's low megabyte, addressed by physical address: zeros
    // but for the firmware's table when given. Mode 0640, and root:kmem
    // when the simulator runs as root, so that an unprivileged reader (a
    // dialout member) cannot open it. A read past its end finds end-of-file
    // where the kernel refuses it (memory above the first megabyte is the
    // kernel's own under its strict /dev/mem rules).
    static const std::uint32_t kDevMemSize = 0x100000;
    void setDevMem();
    void setDevMem(const IrqRoutingTable& table);

    // --- sys/bus/pci/slots ---
    // The kernel's slot records, replacing any before: a folder per slot
    // holding its address file. The folder is there, empty, without
    // records, as on every machine with PCI.
    void setSlotRecords(const std::vector<PciSlotRecord>& records);

    // --- dev/ttySM<n> ---
    // dev/ttySM<n> -> target (replacing what was there).
    void linkTty(int n, const std::string& target);
    // dev/ttySM<n> as a node that is no tty.
    void makeTtyNode(int n, TtyNode kind);
    void removeTty(int n);
    // Logical path "/dev/ttySM<n>".
    static std::string ttyPath(int n);

private:
    void makeLockFolder() const;
    void writeDevicesList() const;
    void writeConfigFile(const PciFunction& function) const;

    std::string m_path;
    bool m_temporary;
    std::vector<PciFunction> m_functions;  // sorted by bus, device, function
};

}  // namespace modemsim
