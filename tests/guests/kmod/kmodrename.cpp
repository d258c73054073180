// kmodrename.cpp - writes a copy of a kernel module under another module name, without its signature.
//
//   kmodrename IN.ko OUT.ko NEWNAME
//
// IN is uncompressed (xz -d a .ko.xz first). NEWNAME may be no longer than
// the old name. Prints one line of what it did; exit status 1 when the file
// cannot be renamed, 64 on a usage error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ModuleRename.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: kmodrename IN.ko OUT.ko NEWNAME\n");
        return 64;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kmodrename: cannot open %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    kmod::Renamed renamed;
    const std::string why = kmod::RenameModule(image, argv[3], renamed);
    if (!why.empty()) {
        std::fprintf(stderr, "kmodrename: %s: %s\n", argv[1], why.c_str());
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "kmodrename: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("kmodrename: %s renamed %s to %s, %zu signature bytes cut\n", argv[2], renamed.oldName.c_str(), argv[3],
                renamed.signatureBytes);
    return 0;
}
