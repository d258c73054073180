// ModuleRename.h - gives a kernel module file (ELF32 or ELF64) another module name and cuts off its signature.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kmod {

// What RenameModule did, for its caller to report.
struct Renamed {
    std::string oldName;
    std::size_t signatureBytes = 0;  // cut off the end, 0 when unsigned
};

// Renames the module in `image` (a whole, uncompressed .ko file) to
// `newName`: "name=" in .modinfo and the name field of its struct module in
// .gnu.linkonce.this_module, each padded with NULs to the old length, so
// that no offset moves. The kernel refuses a changed module that keeps its
// signature and loads an unsigned one (tainting itself) when signatures are
// not enforced, so an appended signature goes. Returns an empty string when
// done, else why the file was left as it was.
std::string RenameModule(std::vector<std::uint8_t>& image, const std::string& newName, Renamed& renamed);

}  // namespace kmod
