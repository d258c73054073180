// PciSlot.cpp - finds a PCI device's slot number in the BIOS IRQ routing table.
#include "PciSlot.h"

#include <cstdlib>
#include <cstring>

#include "IrqTable.h"
#include "VelkLinux.h"

namespace {

// The BIOS range searched, step by step.
const std::uint32_t kBiosFirst = irqtable::kAreaStart;
const std::uint32_t kBiosLast = irqtable::kAreaStart + irqtable::kAreaSize - 1;
const std::uint32_t kBiosStep = irqtable::kStep;
// The whole range plus the part of a header lying at the last step that
// runs past it.
const std::size_t kBiosImageSize = (kBiosLast + 1 - kBiosFirst) + (kIrqTableHeaderSize - kBiosStep);

// Where the BIOS range of kcore was read: the bytes of the range that could
// be read at once, so the search needs no seek per step.
struct BiosImage {
    std::uint8_t* bytes;
    std::size_t length;
};

// Reads the 32 header bytes at address from the image when it holds them,
// else from kcore itself (which reports a failed seek or a short read).
bool ReadHeaderBytes(FILE* kcore, const BiosImage& image, std::uint32_t address, std::uint8_t* header)
{
    const std::size_t offset = address - kBiosFirst;
    if (offset + kIrqTableHeaderSize <= image.length) {
        std::memcpy(header, image.bytes + offset, kIrqTableHeaderSize);
        return true;
    }
    return ReadPhysMem(kcore, address, header, kIrqTableHeaderSize) == 0;
}

// Searches the range for "$PIR": 1 with the address and header when found,
// 0 when not there, -1 when reading failed; both failures are reported.
int FindIrqTable(FILE* kcore, const BiosImage& image, std::uint32_t* tableAddress, std::uint8_t* header)
{
    for (std::uint32_t address = kBiosFirst; address <= kBiosLast; address += kBiosStep) {
        if (!ReadHeaderBytes(kcore, image, address, header)) {
            return -1;
        }
        if (irqtable::IsSignature(header)) {
            *tableAddress = address;
            return 1;
        }
    }
    ErrorMessage("Can't find the IRQ table in /proc/kcore");
    return 0;
}

// Reads and checks the table at tableAddress and looks the device up.
int LookUpSlot(FILE* kcore, const BiosImage& image, std::uint32_t tableAddress, const std::uint8_t* headerBytes,
               std::uint8_t bus, std::uint8_t device)
{
    _irqTable header;
    DecodeIrqTableHeader(headerBytes, &header);
    const std::size_t size = header.tableSize;

    // A table already in the image needs no second read.
    const std::size_t offset = tableAddress - kBiosFirst;
    const std::uint8_t* table = nullptr;
    std::uint8_t* copy = nullptr;
    if (offset + size <= image.length) {
        table = image.bytes + offset;
    } else {
        copy = static_cast<std::uint8_t*>(std::malloc(size != 0 ? size : 1));
        if (copy == nullptr) {
            ErrorMessage("Memory allocation failure");
            return -1;
        }
        if (ReadPhysMem(kcore, tableAddress, copy, size) != 0) {
            std::free(copy);
            return -1;
        }
        table = copy;
    }

    int answer = -1;
    if (!IrqTableValid(table, size)) {
        ErrorMessage("Invalid IRQ table");
    } else {
        answer = FindSlotInIrqTable(table, size, bus, device);
    }
    std::free(copy);
    return answer;
}

}  // namespace

void DecodeIrqTableHeader(const std::uint8_t* bytes, _irqTable* header)
{
    std::memcpy(header->signature, bytes, sizeof header->signature);
    header->minorVersion = bytes[4];
    header->majorVersion = bytes[5];
    header->tableSize = LoadLe16(bytes + 6);
    header->bus = bytes[8];
    header->devFunc = bytes[9];
    header->exclusiveIrqs = LoadLe16(bytes + 10);
    std::memcpy(header->dontcare, bytes + 12, sizeof header->dontcare);
    header->checkSum = bytes[31];
}

Boolean IrqTableValid(const std::uint8_t* table, std::size_t size)
{
    return irqtable::Check(table, size) == irqtable::Fault::None;
}

int FindSlotInIrqTable(const std::uint8_t* table, std::size_t size, std::uint8_t bus, std::uint8_t device)
{
    return irqtable::SlotOf(table, size, bus, device);
}

extern "C" int GetSlotNumber(std::uint8_t bus, std::uint8_t device)
{
    FILE* kcore = InitPhysMem();
    if (kcore == kInvalidPhysMem) {
        return -1;
    }

    // One read of the whole range instead of a seek and read per step; where
    // kcore is shorter, the search goes on step by step from the first
    // header the read did not cover, so the outcome and messages stay those
    // of the step-by-step search.
    BiosImage image = {static_cast<std::uint8_t*>(std::malloc(kBiosImageSize)), 0};
    if (image.bytes != nullptr) {
        image.length = ReadPhysMemAvailable(kcore, kBiosFirst, image.bytes, kBiosImageSize);
    }

    int answer = -1;
    std::uint32_t tableAddress = 0;
    std::uint8_t header[kIrqTableHeaderSize];
    if (FindIrqTable(kcore, image, &tableAddress, header) == 1) {
        answer = LookUpSlot(kcore, image, tableAddress, header, bus, device);
    }
    std::free(image.bytes);
    ClosePhysMem(kcore);
    return answer;
}
