// RootFiles.cpp - creating, replacing and removing the files of a simulated root.
#include "RootFiles.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace modemsim {
namespace rootfiles {

void Fail(const std::string& what, const std::string& path)
{
    throw std::runtime_error("simulated root: " + what + " " + path + ": " + std::strerror(errno));
}

void MakeFolders(const std::string& path)
{
    for (std::string::size_type slash = 1; slash != std::string::npos;) {
        slash = path.find('/', slash + 1);
        const std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            Fail("cannot create", prefix);
        }
    }
}

void RemoveTree(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return;
    }
    if (S_ISDIR(info.st_mode)) {
        chmod(path.c_str(), 0700);
        if (DIR* dir = opendir(path.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    RemoveTree(path + "/" + name);
                }
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

bool FolderIsEmpty(const std::string& path)
{
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return true;
    }
    bool empty = true;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    closedir(dir);
    return empty;
}

void WriteWhole(const std::string& path, const void* data, std::size_t size, mode_t mode)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        Fail("cannot write", path);
    }
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            close(fd);
            Fail("cannot write", path);
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    close(fd);
}

void ReplaceWhole(const std::string& path, const std::string& text)
{
    const std::string fresh = path.substr(0, path.rfind('/') + 1) + "." + path.substr(path.rfind('/') + 1) + ".new";
    WriteWhole(fresh, text.data(), text.size());
    if (rename(fresh.c_str(), path.c_str()) != 0) {
        Fail("cannot replace", path);
    }
}

namespace {

void PutPiece(int fd, const std::string& path, std::uint64_t offset, const std::vector<std::uint8_t>& bytes)
{
    if (pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) != static_cast<ssize_t>(bytes.size())) {
        close(fd);
        Fail("cannot write", path);
    }
}

}  // namespace

void WriteSparse(const std::string& path, std::uint64_t size, const std::vector<Piece>& pieces, mode_t mode)
{
    MakeFolders(path.substr(0, path.rfind('/')));
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        Fail("cannot create", path);
    }
    if (fchmod(fd, mode) != 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        close(fd);
        Fail("cannot size", path);
    }
    for (const Piece& piece : pieces) {
        PutPiece(fd, path, piece.offset, piece.bytes);
    }
    close(fd);
}

void WriteAt(const std::string& path, std::uint64_t offset, const std::vector<std::uint8_t>& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        Fail("cannot open", path);
    }
    PutPiece(fd, path, offset, bytes);
    close(fd);
}

void PutLe16(std::vector<std::uint8_t>& bytes, std::size_t offset, unsigned value)
{
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
    }
}

void PutLe64(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value)
{
    PutLe32(bytes, offset, static_cast<std::uint32_t>(value & 0xFFFFFFFFu));
    PutLe32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

}  // namespace rootfiles
}  // namespace modemsim
