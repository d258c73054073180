// SimProcKcore.cpp - writes a simulated machine's proc/kcore: a sparse ELF core image of its memory.
#include "SimulatedRoot.h"

#include <algorithm>
#include <iterator>
#include <sys/stat.h>

#include "RootFiles.h"

namespace modemsim {

using namespace rootfiles;

namespace {

// The start of an ELF core file's header: identification (class 1 for
// 32-bit, 2 for 64-bit; little-endian), type core, machine, version; the
// buffer is headerSize zero bytes otherwise.
std::vector<std::uint8_t> ElfCoreHeader(std::size_t headerSize, std::uint8_t elfClass, unsigned machine)
{
    std::vector<std::uint8_t> bytes(headerSize, 0);
    const std::uint8_t ident[] = {0x7F, 'E', 'L', 'F', elfClass, 1 /* little-endian */, 1 /* version */};
    std::copy(std::begin(ident), std::end(ident), bytes.begin());
    PutLe16(bytes, 16, 4);  // ET_CORE
    PutLe16(bytes, 18, machine);
    PutLe32(bytes, 20, 1);  // EV_CURRENT
    return bytes;
}

// An ELF32 core header as the i386 kernel writes it for /proc/kcore: a note
// segment, then the low-memory segment, mapped at the kernel's base
// 0xC0000000 and found SimulatedRoot::kKcoreDataOffset bytes into the file.
std::vector<std::uint8_t> I386KcoreHeader(std::uint64_t size)
{
    const std::uint32_t kElfHeaderSize = 52;
    const std::uint32_t kProgramHeaderSize = 32;
    std::vector<std::uint8_t> bytes = ElfCoreHeader(kElfHeaderSize + 2 * kProgramHeaderSize, 1, 3 /* EM_386 */);
    PutLe32(bytes, 28, kElfHeaderSize);  // program headers right after
    PutLe16(bytes, 40, kElfHeaderSize);
    PutLe16(bytes, 42, kProgramHeaderSize);
    PutLe16(bytes, 44, 2);
    std::size_t at = kElfHeaderSize;
    PutLe32(bytes, at, 4);  // PT_NOTE, empty
    PutLe32(bytes, at + 4, kElfHeaderSize + 2 * kProgramHeaderSize);
    at += kProgramHeaderSize;
    const std::uint32_t lowMemory = static_cast<std::uint32_t>(size - SimulatedRoot::kKcoreDataOffset);
    PutLe32(bytes, at, 1);  // PT_LOAD
    PutLe32(bytes, at + 4, static_cast<std::uint32_t>(SimulatedRoot::kKcoreDataOffset));
    PutLe32(bytes, at + 8, 0xC0000000);  // virtual address
    PutLe32(bytes, at + 12, 0);          // physical address
    PutLe32(bytes, at + 16, lowMemory);
    PutLe32(bytes, at + 20, lowMemory);
    PutLe32(bytes, at + 24, 7);  // read, write, execute
    PutLe32(bytes, at + 28, 0x1000);
    return bytes;
}

// The amd64 kernel's /proc/kcore as Debian 12's 6.1 kernel showed it in a
// guest of 256 MiB booted without address space randomisation: a note
// segment at 0x200, then one load segment per area of kernel address space,
// each found at its virtual address (the low 47 bits) plus the data offset.
// The direct map of physical memory starts at 0xffff888000000000, so the
// first RAM lies 8.5 TiB into the file; before it, where the slot lookup
// reads, the kernel serves zeros.
const std::uint64_t kAmd64DataOffset = 0x3000;
const std::uint64_t kAmd64NotesOffset = 0x200;
const std::uint64_t kAmd64NotesSize = 0x272c;
const std::uint64_t kAmd64VirtualMask = 0x7fffffffffffULL;
const std::uint64_t kNoPhysicalAddress = ~0ULL;

struct Amd64Segment {
    std::uint64_t virtualAddress;
    std::uint64_t physicalAddress;
    std::uint64_t size;
};

// In the kernel's order: its text, vmalloc space, modules, then each range
// of System RAM with the vmemmap pages that describe it. The firmware area
// 0xA0000-0xFFFFF is no System RAM and has no segment at all.
const Amd64Segment kAmd64Segments[] = {
    {0xffffffff81000000ULL, 0x1000000, 0x3430000},             // kernel text
    {0xffffc90000000000ULL, kNoPhysicalAddress, 0x1fffffffffffULL},  // vmalloc
    {0xffffffffc0000000ULL, kNoPhysicalAddress, 0x3f000000},   // modules
    {0xffff888000001000ULL, 0x1000, 0x9e000},                  // RAM below 640 KiB
    {0xffffea0000000000ULL, kNoPhysicalAddress, 0x3000},       // its vmemmap
    {0xffff888000100000ULL, 0x100000, 0xfee0000},              // RAM from 1 MiB
    {0xffffea0000004000ULL, kNoPhysicalAddress, 0x3fc000},     // its vmemmap
};

std::vector<std::uint8_t> Amd64KcoreHeader()
{
    const std::size_t kElfHeaderSize = 64;
    const std::size_t kProgramHeaderSize = 56;
    const std::size_t count = 1 + sizeof kAmd64Segments / sizeof kAmd64Segments[0];
    std::vector<std::uint8_t> bytes = ElfCoreHeader(kElfHeaderSize + count * kProgramHeaderSize, 2, 62 /* EM_X86_64 */);
    PutLe64(bytes, 32, kElfHeaderSize);  // program headers right after
    PutLe16(bytes, 52, kElfHeaderSize);
    PutLe16(bytes, 54, kProgramHeaderSize);
    PutLe16(bytes, 56, count);
    std::size_t at = kElfHeaderSize;
    PutLe32(bytes, at, 4);  // PT_NOTE (its notes are left out: zeros)
    PutLe64(bytes, at + 8, kAmd64NotesOffset);
    PutLe64(bytes, at + 32, kAmd64NotesSize);
    for (const Amd64Segment& segment : kAmd64Segments) {
        at += kProgramHeaderSize;
        PutLe32(bytes, at, 1);      // PT_LOAD
        PutLe32(bytes, at + 4, 7);  // read, write, execute
        PutLe64(bytes, at + 8, (segment.virtualAddress & kAmd64VirtualMask) + kAmd64DataOffset);
        PutLe64(bytes, at + 16, segment.virtualAddress);
        PutLe64(bytes, at + 24, segment.physicalAddress);
        PutLe64(bytes, at + 32, segment.size);
        PutLe64(bytes, at + 40, segment.size);
        PutLe64(bytes, at + 48, 0x1000);
    }
    return bytes;
}

}  // namespace

void SimulatedRoot::setKcore(std::uint64_t size)
{
    // Sparse: only the header and what is written later take disk space.
    // The owner's alone, as the kernel's is root's alone.
    std::vector<Piece> header;
    if (size >= kKcoreDataOffset) {
        header.push_back(Piece{0, I386KcoreHeader(size)});
    }
    WriteSparse(file("/proc/kcore"), size, header, 0400);
}

void SimulatedRoot::writeKcore(std::uint64_t physicalAddress, const std::vector<std::uint8_t>& bytes)
{
    const std::string path = file("/proc/kcore");
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        setKcore();
    }
    WriteAt(path, kcoreOffset(physicalAddress), bytes);
}

void SimulatedRoot::setIrqTable(const IrqRoutingTable& table, std::uint64_t kcoreSize)
{
    setKcore(kcoreSize);
    writeKcore(table.address, IrqTableBytes(table));
}

// The kernel's file is as long as the whole 47-bit space (0x7fffff003000
// bytes), more than a file system holds; the image ends at the default size,
// past every offset the slot lookup reads.
void SimulatedRoot::setAmd64Kcore()
{
    WriteSparse(file("/proc/kcore"), kDefaultKcoreSize, {Piece{0, Amd64KcoreHeader()}}, 0400);
}

void SimulatedRoot::removeKcore()
{
    RemoveTree(file("/proc/kcore"));
}

}  // namespace modemsim
