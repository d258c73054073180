// test_module_rename.cpp - kmodrename's renaming on synthetic ELF32 and ELF64 modules, signed and not, and the files it refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "ModuleRename.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& image, std::size_t at, std::uint64_t value, int size)
{
    for (int i = 0; i < size; ++i) {
        image[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A relocatable ELF file with the sections a module's name lives in:
// .modinfo holding `modinfo`, .gnu.linkonce.this_module with `field` as its
// struct module's name, and a signature of `signature` bytes when not 0.
Bytes Module(bool elf64, const std::string& modinfo, const std::string& field, std::size_t signature = 0)
{
    const std::size_t header = elf64 ? 64 : 52;
    const std::size_t entry = elf64 ? 64 : 40;
    const std::string names = std::string("\0.modinfo\0.gnu.linkonce.this_module\0.shstrtab\0", 46);
    const std::size_t structSize = 0x140;
    const std::size_t modinfoAt = header;
    const std::size_t structAt = modinfoAt + modinfo.size();
    const std::size_t namesAt = structAt + structSize;
    const std::size_t tableAt = namesAt + names.size();
    Bytes image = {0x7f, 'E', 'L', 'F', static_cast<std::uint8_t>(elf64 ? 2 : 1), 1, 1};
    image.resize(tableAt + 4 * entry, 0);
    Put(image, 16, 1, 2);  // ET_REL
    Put(image, elf64 ? 40 : 32, tableAt, elf64 ? 8 : 4);
    Put(image, elf64 ? 58 : 46, entry, 2);
    Put(image, elf64 ? 60 : 48, 4, 2);
    Put(image, elf64 ? 62 : 50, 3, 2);
    std::memcpy(image.data() + modinfoAt, modinfo.data(), modinfo.size());
    std::memcpy(image.data() + structAt + (elf64 ? 24 : 12), field.data(), field.size());
    std::memcpy(image.data() + namesAt, names.data(), names.size());
    const std::size_t sections[][3] = {{1, modinfoAt, modinfo.size()}, {10, structAt, structSize}, {36, namesAt, names.size()}};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t at = tableAt + (i + 1) * entry;
        Put(image, at, sections[i][0], 4);
        Put(image, at + (elf64 ? 24 : 16), sections[i][1], elf64 ? 8 : 4);
        Put(image, at + (elf64 ? 32 : 20), sections[i][2], elf64 ? 8 : 4);
    }
    if (signature > 0) {
        image.resize(image.size() + signature, 0xa5);
        Bytes info(12, 0);  // the length last, big-endian
        for (std::size_t i = 0; i < 4; ++i) {
            info[11 - i] = static_cast<std::uint8_t>(signature >> (8 * i));
        }
        image.insert(image.end(), info.begin(), info.end());
        const char marker[] = "~Module signature appended~\n";
        image.insert(image.end(), marker, marker + sizeof marker - 1);
    }
    return image;
}

std::string Info(const std::string& name)
{
    return std::string("license=GPL\0", 12) + "name=" + name + std::string("\0vermagic=6.12.0 SMP\0", 21);
}

class Rename : public ::testing::TestWithParam<std::tuple<bool, std::size_t>> {};

TEST_P(Rename, BothNamesChangeInPlaceAndTheSignatureGoes)
{
    const auto [elf64, signature] = GetParam();
    Bytes image = Module(elf64, Info("ftdi_sio"), "ftdi_sio", signature);
    kmod::Renamed renamed;
    ASSERT_EQ(kmod::RenameModule(image, "TSYSM", renamed), "");
    EXPECT_EQ(renamed.oldName, "ftdi_sio");
    EXPECT_EQ(renamed.signatureBytes, signature == 0 ? 0 : signature + 40);
    const std::string padded("TSYSM\0\0\0", 8);
    EXPECT_EQ(image, Module(elf64, Info(padded), padded));
}

INSTANTIATE_TEST_SUITE_P(ModuleRename, Rename,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(std::size_t{0}, std::size_t{300})));

TEST(ModuleRename, RefusesWhatItCannotRenameAndLeavesTheFile)
{
    Bytes truncated = Module(true, Info("ftdi_sio"), "ftdi_sio");
    truncated.resize(truncated.size() - 10);
    Bytes bigEndian = Module(false, Info("ftdi_sio"), "ftdi_sio");
    bigEndian[5] = 2;
    Bytes longSignature = Module(true, Info("ftdi_sio"), "ftdi_sio", 20);
    longSignature[longSignature.size() - 32] = 0x7f;  // the length's top byte
    const struct {
        Bytes image;
        std::string name;
        std::string why;
    } cases[] = {
        {Module(true, Info("ftdi_sio"), "ftdi_sio"), "TSYSM_LONGER", "longer than the old name 'ftdi_sio'"},
        {Module(true, Info("ftdi_sio"), "ftdi_sio"), "TS-SM", "no module name"},
        {Module(false, Info("ftdi_sio"), "other"), "TSYSM", "does not carry the name 'ftdi_sio'"},
        {Module(true, std::string("license=GPL\0", 12), "ftdi_sio"), "TSYSM", "0 name= entries"},
        {Module(true, Info("a") + Info("b"), "a"), "b", "2 name= entries"},
        {truncated, "TSYSM", "section table"},
        {bigEndian, "TSYSM", "little-endian"},
        {longSignature, "TSYSM", "signature is longer than the file"},
        {Bytes(100, 0), "TSYSM", "not an ELF file"},
    };
    for (const auto& c : cases) {
        Bytes image = c.image;
        kmod::Renamed renamed;
        const std::string why = kmod::RenameModule(image, c.name, renamed);
        EXPECT_NE(why.find(c.why), std::string::npos) << "'" << why << "' for " << c.name << ", wanted " << c.why;
        EXPECT_EQ(image, c.image) << c.why;
    }
}

}  // namespace
