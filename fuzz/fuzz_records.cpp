// fuzz_records.cpp - diaghost's readers of PCI addresses, the plug-in's device texts and PCI files.
//
// The location and additional-information texts of a device, an address as
// a person types it, and the bytes of a PCI configuration file, are
// arbitrary; each answer is compared with a reading of the documented forms
// written here: "PCI Bus <b>, Device <d>, Function <f>" with decimal
// numbers in range and nothing around them, "PCI Slot <n>" with n from 1 to
// INT_MAX, "[dddd:]bb:dd.f" in hexadecimal of any case, and the vendor and
// device words of the file's first four bytes. Half of the texts are the
// first two forms with arbitrary numbers and arbitrary bytes before or
// after, so that near misses are met often.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "HostFuzz.h"
#include "PciAddress.h"

using fuzz::Expect;

namespace {

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

// "dddd:bb:dd.f" or "bb:dd.f" (hexadecimal, any case, f from 0 to 7) in
// lower case with its domain; "" for any other text.
std::string ExpectedParse(const std::string& text)
{
    const std::string full = text.size() == 7 ? "0000:" + text : text;
    const char* form = "hhhh:hh:hh.f";
    if (full.size() != 12) {
        return "";
    }
    std::string lower;
    for (std::size_t i = 0; i < 12; ++i) {
        const char c = full[i] >= 'A' && full[i] <= 'F' ? static_cast<char>(full[i] - 'A' + 'a') : full[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        if (form[i] == 'h' ? !hex : form[i] == 'f' ? !(c >= '0' && c <= '7') : c != form[i]) {
            return "";
        }
        lower += c;
    }
    return lower;
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

    Expect(slotFromHWInfo(info) == ExpectedSlot(info));
    const PciAddress address = PciAddress::fromLocation(location);
    Expect(address.text() == ExpectedAddress(location));
    const PciAddress typed = PciAddress::parse(other);
    const std::string typedText = ExpectedParse(other);
    Expect(typed.text() == typedText);
    Expect(typed.shortText() == (typedText.compare(0, 5, "0000:") == 0 ? typedText.substr(5) : typedText));

    // The configuration file at the address, holding the input's last bytes.
    // A system root with the folders of the PCI configuration files.
    static const std::string root = fuzz::Folder({"/proc/bus/pci"});
    if (address.valid) {
        const std::string text = address.text();
        const std::string folder = root + "/proc/bus/pci/" + text.substr(5, 2);
        const std::string file = folder + "/" + text.substr(8);
        mkdir(folder.c_str(), 0755);
        std::ofstream(file, std::ios::binary) << header;
        const std::string id = address.readId(root);
        if (header.size() >= 4) {
            char expected[16];
            std::snprintf(expected, sizeof expected, "%02x%02x:%02x%02x", static_cast<unsigned char>(header[1]),
                          static_cast<unsigned char>(header[0]), static_cast<unsigned char>(header[3]),
                          static_cast<unsigned char>(header[2]));
            Expect(id == expected);
        } else {
            Expect(id.empty());
        }
        // The typed address finds the same file when it names the same
        // function, else none: nothing else is there.
        Expect(typed.readId(root) == (typed.text() == address.text() ? id : ""));
        unlink(file.c_str());
        rmdir(folder.c_str());
    }
    Expect(typed.readId(root).empty());
    return 0;
}
