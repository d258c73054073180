// PackageConfig.cpp - reads the INI manifest of a diagnostics package.
#include "PackageConfig.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "OutputFiles.h"

namespace diaghost {

namespace {

std::string trim(const std::string& text)
{
    const char* blanks = " \t\r\n";
    const std::string::size_type first = text.find_first_not_of(blanks);
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool isSymbol(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") == std::string::npos;
}

// A decimal number that a code holds, digits only.
bool parseCode(const std::string& text, QuarnDiags::Uint& code)
{
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, code);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// A time in seconds: digits with at most one decimal point, above 0.
bool parseSeconds(const std::string& text, double& seconds)
{
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        text.find('.') != text.rfind('.') || text == ".") {
        return false;
    }
    seconds = std::strtod(text.c_str(), nullptr);
    return seconds > 0.0 && seconds < 86400.0;
}

}  // namespace

std::string PackageConfig::libraryPath() const
{
    return !library.empty() && library[0] == '/' ? library : parentFolder(path) + "/" + library;
}

int PackageConfig::testIndex(const std::string& name) const
{
    const auto found =
        std::find_if(tests.begin(), tests.end(), [&name](const TestInfo& test) { return test.name == name; });
    return found != tests.end() ? static_cast<int>(found - tests.begin()) : -1;
}

const TestInfo* PackageConfig::test(int index) const
{
    return index >= 0 && static_cast<std::size_t>(index) < tests.size() ? &tests[static_cast<std::size_t>(index)]
                                                                         : nullptr;
}

std::string PackageConfig::codeName(QuarnDiags::Uint code) const
{
    const auto found = messages.find(code);
    return found != messages.end() ? found->second.name : "CODE_" + std::to_string(code);
}

std::string PackageConfig::codeText(QuarnDiags::Uint code) const
{
    const auto found = messages.find(code);
    return found != messages.end() ? found->second.text : std::string();
}

std::string PackageConfig::limitText(int index) const
{
    if (test(index) == nullptr || test(index)->maxSeconds <= 0.0) {
        return std::string();
    }
    char text[32];
    std::snprintf(text, sizeof text, "up to %g s", test(index)->maxSeconds);
    return text;
}

bool parsePackageConfig(const std::string& text, PackageConfig& config, std::string& error)
{
    // [limits] may come before [tests]: its entries are matched at the end.
    std::map<std::string, std::pair<double, int>> limits;
    std::istringstream in(text);
    std::string raw;
    std::string section;
    int lineNumber = 0;
    const auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        const std::string line = trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') {
                return fail("section header without its closing ']'");
            }
            section = trim(line.substr(1, line.size() - 2));
            continue;
        }
        const std::string::size_type equals = line.find('=');
        if (equals == std::string::npos) {
            return fail("expected 'key = value'");
        }
        const std::string key = trim(line.substr(0, equals));
        const std::string value = trim(line.substr(equals + 1));
        if (key.empty()) {
            return fail("empty key");
        }

        if (section == "package") {
            if (key == "library") {
                config.library = value;
            }
        } else if (section == "tests") {
            // The order of the entries is the plug-in's registration order.
            if (config.testIndex(key) >= 0) {
                return fail("test '" + key + "' named twice");
            }
            config.tests.push_back(TestInfo{key, value});
        } else if (section == "messages") {
            // <code> = <SYMBOL>: <text>
            QuarnDiags::Uint code = 0;
            const std::string::size_type colon = value.find(':');
            const std::string symbol = trim(value.substr(0, colon));
            if (!parseCode(key, code)) {
                return fail("message code '" + key + "' is not a number");
            }
            if (!isSymbol(symbol)) {
                return fail("expected '<code> = <NAME>: <text>'");
            }
            config.messages[code] =
                MessageInfo{symbol, colon == std::string::npos ? std::string() : trim(value.substr(colon + 1))};
        } else if (section == "limits") {
            double seconds = 0.0;
            if (!parseSeconds(value, seconds)) {
                return fail("expected '<test> = <seconds>', such as 'at = 7.5'");
            }
            limits[key] = {seconds, lineNumber};
        } else if (section == "hardware") {
            if (key == "pci_id") {
                config.hardware.pciId = value;
            } else if (key == "driver") {
                config.hardware.driver = value;
            } else if (key == "ttys") {
                config.hardware.ttys = value;
            }
        } else if (section.empty()) {
            return fail("entry outside any section");
        }
        // Entries of other sections belong to other tools and are skipped.
    }
    if (config.library.empty()) {
        error = "no 'library' entry in its [package] section";
        return false;
    }
    for (const auto& limit : limits) {
        const int index = config.testIndex(limit.first);
        if (index < 0) {
            lineNumber = limit.second.second;
            return fail("a limit for '" + limit.first + "', which [tests] does not name");
        }
        config.tests[static_cast<std::size_t>(index)].maxSeconds = limit.second.first;
    }
    return true;
}

bool loadPackageConfig(const std::string& path, PackageConfig& config, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read package " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();

    config = PackageConfig();
    config.path = path;
    if (!parsePackageConfig(text.str(), config, error)) {
        error = "bad package " + path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace diaghost
