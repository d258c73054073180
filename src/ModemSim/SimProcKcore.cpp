// SimProcKcore.cpp - writes a simulated machine's proc/kcore: a sparse ELF core image of its memory.
#include "SimulatedRoot.h"

#include <algorithm>
#include <iterator>
#include <sys/stat.h>

#include "RootFiles.h"

namespace modemsim {

using namespace rootfiles;

namespace {

// An ELF32 core header as the i386 kernel writes it for /proc/kcore: a note
// segment, then the low-memory segment, mapped at the kernel's base
// 0xC0000000 and found SimulatedRoot::kKcoreDataOffset bytes into the file.
std::vector<std::uint8_t> I386KcoreHeader(std::uint64_t size)
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

}  // namespace

void SimulatedRoot::setKcore(std::uint64_t size)
{
    // Sparse: only the header and what is written later take disk space.
    std::vector<Piece> header;
    if (size >= kKcoreDataOffset) {
        header.push_back(Piece{0, I386KcoreHeader(size)});
    }
    WriteSparse(file("/proc/kcore"), size, header, 0644);
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

void SimulatedRoot::removeKcore()
{
    RemoveTree(file("/proc/kcore"));
}

}  // namespace modemsim
