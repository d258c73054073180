// fuzz_package_config.cpp - diaghost's pkg.cfg parser over arbitrary manifest text.
//
// A manifest either parses or gives a reason; what parses answers every
// lookup without surprise: a named test finds itself (or an earlier test
// of the same name), and any code has a name.
#include <cstdint>
#include <string>

#include "HostFuzz.h"

using fuzz::Expect;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    diaghost::PackageConfig config;
    std::string error;
    if (!diaghost::parsePackageConfig(text, config, error)) {
        Expect(!error.empty());  // a refusal always says why
        return 0;
    }
    Expect(!config.library.empty());
    for (std::size_t i = 0; i < config.tests.size(); ++i) {
        const int found = config.testIndex(config.tests[i].name);
        Expect(found >= 0 && found <= static_cast<int>(i) && config.testName(static_cast<int>(i)) == config.tests[i].name);
    }
    for (const auto& message : config.messages) {
        Expect(config.codeName(message.first) == message.second.name &&
               config.codeText(message.first) == message.second.text);
    }
    (void)config.codeName(0xFFFFFFFF);
    (void)config.libraryPath();
    return 0;
}
