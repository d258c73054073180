// Fuzz.h - what every fuzz target shares: a broken promise stops the run, and a folder of the target's own.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <unistd.h>

namespace fuzz {

// libFuzzer keeps the input that broke a promise.
inline void Expect(bool holds)
{
    if (!holds) {
        __builtin_trap();
    }
}

// A folder of the target's own below $TMPDIR (on a memory file system the
// files each input writes cost far less), made once, with the folders
// below it that the target names.
inline const std::string& Folder(std::initializer_list<const char*> below = {})
{
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/modemdiag-fuzz-XXXXXX";
        return mkdtemp(&pattern[0]) != nullptr ? pattern : std::string("/tmp");
    }();
    for (const char* path : below) {
        std::error_code ignored;
        std::filesystem::create_directories(folder + path, ignored);
    }
    return folder;
}

}  // namespace fuzz
