// ModuleRename.cpp - gives a kernel module file (ELF32 or ELF64) another module name and cuts off its signature.
#include "ModuleRename.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kmod {
namespace {

// The end of a signed module: the signature, a 12-byte struct
// module_signature whose last 4 bytes are the signature's length (big
// endian), then this marker.
const char kSignatureMarker[] = "~Module signature appended~\n";
const std::size_t kMarkerSize = sizeof kSignatureMarker - 1;
const std::size_t kSignatureInfoSize = 12;

// Little-endian field of `size` bytes at `at`, assembled byte by byte.
std::uint64_t Field(const std::vector<std::uint8_t>& image, std::size_t at, int size)
{
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | image[at + static_cast<std::size_t>(i)];
    }
    return value;
}

bool Fits(const std::vector<std::uint8_t>& image, std::uint64_t offset, std::uint64_t size)
{
    return offset <= image.size() && size <= image.size() - offset;
}

struct Section {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool found = false;
};

// Cuts an appended signature off; false when its length runs past the start.
bool CutSignature(std::vector<std::uint8_t>& image, std::size_t& cut)
{
    cut = 0;
    const std::size_t size = image.size();
    if (size < kMarkerSize + kSignatureInfoSize ||
        std::memcmp(image.data() + size - kMarkerSize, kSignatureMarker, kMarkerSize) != 0) {
        return true;
    }
    const std::size_t info = size - kMarkerSize - kSignatureInfoSize;
    std::uint64_t length = 0;
    for (std::size_t i = 8; i < 12; ++i) {
        length = length << 8 | image[info + i];
    }
    if (length > info) {
        return false;
    }
    cut = size - info + static_cast<std::size_t>(length);
    image.resize(info - static_cast<std::size_t>(length));
    return true;
}

// Letters, digits and _ (in the C locale, as kernel module names are).
bool ValidName(const std::string& name)
{
    const auto allowed = [](unsigned char c) { return std::isalnum(c) != 0 || c == '_'; };
    return !name.empty() && std::all_of(name.begin(), name.end(), allowed);
}

// Finds the two sections a module's name lives in; an empty string when
// both are there, within the file, else what is wrong.
std::string FindSections(const std::vector<std::uint8_t>& work, bool elf64, Section& modinfo, Section& thisModule)
{
    // The fields of the ELF header and of a section header that matter here.
    const std::size_t headerSize = elf64 ? 64 : 52;
    if (work.size() < headerSize || Field(work, 16, 2) != 1) {
        return "not a relocatable object (a kernel module is one)";
    }
    const int word = elf64 ? 8 : 4;
    const std::uint64_t tableOffset = Field(work, elf64 ? 40 : 32, word);
    const std::uint64_t entrySize = Field(work, elf64 ? 58 : 46, 2);
    const std::uint64_t count = Field(work, elf64 ? 60 : 48, 2);
    const std::uint64_t namesIndex = Field(work, elf64 ? 62 : 50, 2);
    if (entrySize != (elf64 ? 64u : 40u) || !Fits(work, tableOffset, entrySize * count) || namesIndex >= count) {
        return "its section table is damaged or past the end of the file";
    }
    const auto sectionAt = [&](std::uint64_t index) {
        const std::size_t at = static_cast<std::size_t>(tableOffset + index * entrySize);
        Section section;
        section.offset = Field(work, at + (elf64 ? 24 : 16), word);
        section.size = Field(work, at + (elf64 ? 32 : 20), word);
        section.found = Fits(work, section.offset, section.size);
        return section;
    };
    const Section names = sectionAt(namesIndex);
    if (!names.found) {
        return "its section names lie past the end of the file";
    }
    for (std::uint64_t index = 0; index < count; ++index) {
        const std::uint64_t nameOffset = Field(work, static_cast<std::size_t>(tableOffset + index * entrySize), 4);
        if (nameOffset >= names.size) {
            continue;
        }
        const char* name = reinterpret_cast<const char*>(work.data() + names.offset + nameOffset);
        const std::string sectionName(name, strnlen(name, static_cast<std::size_t>(names.size - nameOffset)));
        if (sectionName == ".modinfo") {
            modinfo = sectionAt(index);
        } else if (sectionName == ".gnu.linkonce.this_module") {
            thisModule = sectionAt(index);
        }
    }
    if (!modinfo.found || !thisModule.found) {
        return "no .modinfo or .gnu.linkonce.this_module section within the file";
    }
    return "";
}

}  // namespace

std::string RenameModule(std::vector<std::uint8_t>& image, const std::string& newName, Renamed& renamed)
{
    if (!ValidName(newName)) {
        return "'" + newName + "' is no module name (letters, digits and _)";
    }
    std::vector<std::uint8_t> work = image;
    if (!CutSignature(work, renamed.signatureBytes)) {
        return "its signature is longer than the file";
    }
    if (work.size() < 16 || std::memcmp(work.data(), "\177ELF", 4) != 0) {
        return "not an ELF file";
    }
    const bool elf64 = work[4] == 2;
    if (work[4] != 1 && !elf64) {
        return "an ELF class neither 32 nor 64 bits";
    }
    if (work[5] != 1) {
        return "not little-endian: only x86 modules are handled";
    }
    Section modinfo;
    Section thisModule;
    const std::string why = FindSections(work, elf64, modinfo, thisModule);
    if (!why.empty()) {
        return why;
    }

    // .modinfo: NUL-separated "key=value" strings, exactly one of them the name.
    std::size_t nameAt = 0;
    int namesFound = 0;
    for (std::size_t at = 0; at < modinfo.size;) {
        const char* entry = reinterpret_cast<const char*>(work.data() + modinfo.offset + at);
        const std::size_t length = strnlen(entry, static_cast<std::size_t>(modinfo.size - at));
        if (length > 5 && std::strncmp(entry, "name=", 5) == 0) {
            renamed.oldName.assign(entry + 5, length - 5);
            nameAt = static_cast<std::size_t>(modinfo.offset) + at + 5;
            ++namesFound;
        }
        at += length + 1;
    }
    if (namesFound != 1) {
        return ".modinfo holds " + std::to_string(namesFound) + " name= entries, not one";
    }
    if (newName.size() > renamed.oldName.size()) {
        return "'" + newName + "' is longer than the old name '" + renamed.oldName + "'";
    }

    // struct module begins with its state (an int) and a list head (two
    // pointers); the name follows, in a field of 64 bytes less a pointer.
    const std::size_t fieldAt = elf64 ? 24 : 12;
    const std::size_t fieldSize = elf64 ? 56 : 60;
    const std::size_t oldLength = renamed.oldName.size();
    if (thisModule.size < fieldAt + fieldSize || oldLength >= fieldSize ||
        std::memcmp(work.data() + thisModule.offset + fieldAt, renamed.oldName.data(), oldLength) != 0 ||
        work[static_cast<std::size_t>(thisModule.offset) + fieldAt + oldLength] != 0) {
        return "its struct module does not carry the name '" + renamed.oldName + "' where the kernel reads it";
    }

    for (const std::size_t at : {nameAt, static_cast<std::size_t>(thisModule.offset) + fieldAt}) {
        std::memset(work.data() + at, 0, oldLength);
        std::memcpy(work.data() + at, newName.data(), newName.size());
    }
    image.swap(work);
    return "";
}

}  // namespace kmod
