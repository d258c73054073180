// fuzz_pci_names.cpp - the hardware table over PCI folders and files of arbitrary names.
//
// The input is a list of entries, each a name length, a name and four bytes
// of content size and kind: a bus folder (any name, not only two hex
// digits) or a file (any name inside the last folder made, not only
// "dd.f"), holding a modem header or the input's next bytes. The scan must
// keep to the table's capacity and list only functions whose names it can
// place on a bus, device and function, in scan order, each once.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "FuzzRoot.h"
#include "Velk.h"

namespace {

const std::string kPci = "/proc/bus/pci";

// Removes everything below folder, keeping the folder.
void Clear(const std::string& folder)
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

// A name for one path component: no "/" and no NUL, never "." or "..".
std::string Component(const std::uint8_t* data, std::size_t length)
{
    std::string name;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(data[i]);
        name += (c == '/' || c == '\0') ? '_' : c;
    }
    if (name.empty() || name == "." || name == "..") {
        name += "x";
    }
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string pci = fuzzroot::Root() + kPci;
    Clear(pci);
    // A modem function's header: the IDs searched for, a class code.
    std::uint8_t modem[64] = {0xA5, 0xE7, 0x18, 0x04};
    modem[0x0B] = 0x07;
    modem[0x0A] = 0x03;

    std::string folder = pci + "/00";
    mkdir(folder.c_str(), 0755);
    std::size_t at = 0;
    int entries = 0;
    while (at + 1 < size && entries < 48) {
        const std::size_t length = data[at] % 32;
        const bool isFolder = (data[at] & 0x80) != 0;
        const bool isModem = (data[at] & 0x40) != 0;
        ++at;
        if (at + length > size) {
            break;
        }
        const std::string name = Component(data + at, length);
        at += length;
        ++entries;
        if (isFolder) {
            folder = pci + "/" + name;
            mkdir(folder.c_str(), 0755);
            continue;
        }
        std::size_t bytes = isModem ? sizeof modem : 0;
        const std::uint8_t* content = modem;
        if (!isModem && at < size) {
            bytes = data[at] % 72;
            ++at;
            bytes = at + bytes <= size ? bytes : size - at;
            content = data + at;
            at += bytes;
        }
        fuzzroot::WriteFile(kPci + folder.substr(pci.size()) + "/" + name, content, bytes);
    }

    hwDevDetailStruct table[kHwDevTableCapacity + 1];
    std::memset(table, 0xEE, sizeof table);
    std::uint32_t count = 0xFFFFFFFF;
    if (BuildHWDeviceTable(table, &count, 0x0418, 0xE7A5) != 0) {
        return 0;
    }
    // Never past the capacity.
    const std::int32_t untouched = static_cast<std::int32_t>(0xEEEEEEEE);
    fuzzroot::Expect(count <= kHwDevTableCapacity && table[kHwDevTableCapacity].bus == untouched);
    std::int32_t previous = -1;
    for (std::uint32_t i = 0; i < count; ++i) {
        const hwDevDetailStruct& entry = table[i];
        fuzzroot::Expect(entry.bus >= 0 && entry.bus <= 255 && entry.device >= 0 && entry.device <= 31 &&
                         entry.function >= 0 && entry.function <= 7);
        // In scan order, each function once.
        const std::int32_t place = (entry.bus << 8) | (entry.device << 3) | entry.function;
        fuzzroot::Expect(place > previous);
        previous = place;
    }
    return 0;
}
