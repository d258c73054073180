// FuzzRoot.h - a simulated system root and a message log for the fuzz targets.
#pragma once

#include <fstream>
#include <string>

#include "Fuzz.h"
#include "Velk.h"

namespace fuzzroot {

// The target's folder, which MODEMDIAG_SYSROOT names for the whole run,
// with the folders below it that a target writes to. Messages go to
// /dev/null, so that their formatting runs too.
inline const std::string& Root()
{
    static const std::string root = [] {
        const std::string path = fuzz::Folder({"/proc/bus/pci/00", "/dev"});
        setenv("MODEMDIAG_SYSROOT", path.c_str(), 1);
        static std::ofstream sink("/dev/null");
        gpLogFile = &sink;
        return path;
    }();
    return root;
}

inline void WriteFile(const std::string& logicalPath, const void* data, std::size_t size)
{
    std::ofstream out(Root() + logicalPath, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace fuzzroot
