// RootFiles.h - file helpers that the writers of a simulated root share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace modemsim {
namespace rootfiles {

// Throws std::runtime_error naming what failed, the path and errno's text.
[[noreturn]] void Fail(const std::string& what, const std::string& path);

// Creates every missing folder of an absolute path, 0755.
void MakeFolders(const std::string& path);
// Removes a file, a link (not what it points to) or a folder tree.
void RemoveTree(const std::string& path);
bool FolderIsEmpty(const std::string& path);

// Creates or truncates the file and writes size bytes.
void WriteWhole(const std::string& path, const void* data, std::size_t size, mode_t mode = 0644);
// Replaces a file whole: written beside it, then renamed over it, so that a
// reader sees the old content or the new, never a part.
void ReplaceWhole(const std::string& path, const std::string& text);
// A sparse file of the given size and mode (the folder made when missing)
// with pieces written at their offsets: only those take disk space.
struct Piece {
    std::uint64_t offset;
    std::vector<std::uint8_t> bytes;
};
void WriteSparse(const std::string& path, std::uint64_t size, const std::vector<Piece>& pieces, mode_t mode);
// Writes bytes at an offset of an existing file.
void WriteAt(const std::string& path, std::uint64_t offset, const std::vector<std::uint8_t>& bytes);

// Little-endian fields, byte by byte.
void PutLe16(std::vector<std::uint8_t>& bytes, std::size_t offset, unsigned value);
void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);
void PutLe64(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value);

}  // namespace rootfiles
}  // namespace modemsim
