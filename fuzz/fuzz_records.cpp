// fuzz_records.cpp - diaghost's readers of the plug-in's device texts and PCI files.
//
// The location and additional-information texts of a device, and the
// bytes of a PCI configuration file, are arbitrary; each answer is compared
// with a reading of the documented forms written here: "PCI Bus <b>,
// Device <d>, Function <f>" with decimal numbers in range and nothing
// around them, "PCI Slot <n>" with n from 1 to INT_MAX, and the vendor and
// device words of the file's first four bytes. Half of the texts are those
// forms with arbitrary numbers and arbitrary bytes before or after, so that
// near misses are met often.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "Records.h"

namespace {

void Expect(bool holds)
{
    if (!holds) {
        __builtin_trap();
    }
}

const std::string& Root()
{
    static const std::string root = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/diaghost-fuzz-XXXXXX";
        const std::string path = mkdtemp(&pattern[0]) != nullptr ? pattern : "/tmp";
        for (const char* folder : {"/proc", "/proc/bus", "/proc/bus/pci"}) {
            mkdir((path + folder).c_str(), 0755);
        }
        return path;
    }();
    return root;
}

// A decimal number at text[at]: digits only; false when there are none.
// value saturates past limit (so that it compares as too large).
bool Number(const std::string& text, std::size_t& at, unsigned long limit, unsigned long* value)
{
    const std::size_t start = at;
    *value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        *value = *value > limit ? *value : *value * 10 + static_cast<unsigned long>(text[at] - '0');
        ++at;
    }
    return at > start;
}

bool Literal(const std::string& text, std::size_t& at, const char* literal)
{
    const std::string expected = literal;
    if (text.compare(at, expected.size(), expected) != 0) {
        return false;
    }
    at += expected.size();
    return true;
}

std::string ExpectedAddress(const std::string& location)
{
    std::size_t at = 0;
    unsigned long bus = 0;
    unsigned long device = 0;
    unsigned long function = 0;
    if (!Literal(location, at, "PCI Bus ") || !Number(location, at, 255, &bus) || !Literal(location, at, ", Device ") ||
        !Number(location, at, 31, &device) || !Literal(location, at, ", Function ") ||
        !Number(location, at, 7, &function) || at != location.size() || bus > 255 || device > 31 || function > 7) {
        return "";
    }
    char text[16];
    std::snprintf(text, sizeof text, "0000:%02lx:%02lx.%lx", bus, device, function);
    return text;
}

int ExpectedSlot(const std::string& info)
{
    std::size_t at = 0;
    unsigned long slot = 0;
    if (!Literal(info, at, "PCI Slot ") || !Number(info, at, INT_MAX, &slot) || at != info.size() || slot == 0 ||
        slot > INT_MAX) {
        return 0;
    }
    return static_cast<int>(slot);
}

// "0000:bb:dd.f" in lower-case hex, the form pciAddressOf gives.
bool AddressForm(const std::string& address)
{
    const char* form = "0000:hh:hh.f";
    if (address.size() != 12) {
        return false;
    }
    for (std::size_t i = 0; i < 12; ++i) {
        const char c = address[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        if (form[i] == 'h' ? !hex : form[i] == 'f' ? !(c >= '0' && c <= '7') : c != form[i]) {
            return false;
        }
    }
    return true;
}

// Arbitrary text, or the form around arbitrary numbers and bytes.
std::string Text(FuzzedDataProvider& input, const char* const* parts, int count)
{
    if (input.ConsumeBool()) {
        return input.ConsumeRandomLengthString(64);
    }
    std::string text = input.ConsumeBool() ? input.ConsumeRandomLengthString(4) : "";
    for (int i = 0; i < count; ++i) {
        text += parts[i] + input.ConsumeRandomLengthString(12);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    static const char* const kLocation[] = {"PCI Bus ", ", Device ", ", Function "};
    static const char* const kSlot[] = {"PCI Slot "};
    const std::string location = Text(input, kLocation, 3);
    const std::string info = Text(input, kSlot, 1);
    const std::string other = input.ConsumeRandomLengthString(16);
    const std::string header = input.ConsumeRemainingBytesAsString();

    Expect(diaghost::slotFromHWInfo(info) == ExpectedSlot(info));
    const std::string address = diaghost::pciAddressOf(location);
    Expect(address == ExpectedAddress(location));

    // The configuration file at the address, holding the input's last bytes.
    const std::string& root = Root();
    std::string id;
    if (!address.empty()) {
        const std::string folder = root + "/proc/bus/pci/" + address.substr(5, 2);
        const std::string file = folder + "/" + address.substr(8);
        mkdir(folder.c_str(), 0755);
        std::ofstream(file, std::ios::binary) << header;
        id = diaghost::readPciId(root, address);
        if (header.size() >= 4) {
            char text[16];
            std::snprintf(text, sizeof text, "%02x%02x:%02x%02x", static_cast<unsigned char>(header[1]),
                          static_cast<unsigned char>(header[0]), static_cast<unsigned char>(header[3]),
                          static_cast<unsigned char>(header[2]));
            Expect(id == text);
        } else {
            Expect(id.empty());
        }
        // Any other address text finds no file: nothing else is there.
        if (other != address) {
            Expect(diaghost::readPciId(root, other).empty());
        }
        unlink(file.c_str());
        rmdir(folder.c_str());
    }
    // Only an address of the form names a file.
    if (!AddressForm(other)) {
        Expect(diaghost::readPciId(root, other).empty());
    }
    return 0;
}
