// fuzz_proc_modules.cpp - the driver use count read from arbitrary /proc/modules contents.
//
// The answer is compared with a model of the rule written here: a line is
// the driver's when it starts with "TSYSM" and white space and its next two
// numbers (size, use count) are both nonzero; any such line makes the
// modems busy. A line is judged by its first 511 bytes, as a C string
// (what follows a NUL byte is not looked at). Lines split across the
// reader's 4 KiB blocks are met two ways: the target runs with -max_len past
// 4 KiB, and an input whose first byte has its top bit set is placed behind
// a filler line that ends up to 127 bytes before the first block's end.
#include <cstdint>
#include <string>

#include "FuzzRoot.h"
#include "VelkLinux.h"

namespace {

const std::size_t kJudged = 511;

bool Blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads white space, a sign and decimal digits from text[at] on; true when
// a digit other than 0 is among them. at moves past the number, or stays
// where it was when there is none.
bool NonzeroNumber(const std::string& text, std::size_t& at)
{
    std::size_t i = at;
    while (i < text.size() && Blank(text[i])) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    const std::size_t digits = i;
    bool nonzero = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        nonzero = nonzero || text[i] != '0';
        ++i;
    }
    if (i != digits) {
        at = i;
    }
    return nonzero;
}

bool DriverBusy(std::string line)
{
    line = line.substr(0, kJudged);
    line = line.substr(0, line.find('\0'));
    if (line.compare(0, 5, "TSYSM") != 0 || line.size() < 6 || !Blank(line[5])) {
        return false;
    }
    std::size_t at = 5;
    return NonzeroNumber(line, at) && NonzeroNumber(line, at);
}

bool Expected(const std::string& text)
{
    bool busy = false;
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = text.find('\n', from);
        busy = DriverBusy(text.substr(from, end == std::string::npos ? std::string::npos : end - from)) || busy;
        if (end == std::string::npos) {
            return busy;
        }
        from = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string text;
    if (size > 0 && (data[0] & 0x80) != 0) {
        text.assign(4095 - (data[0] & 0x7F), 'x');
        text += '\n';
        text.append(reinterpret_cast<const char*>(data) + 1, size - 1);
    } else {
        text.assign(reinterpret_cast<const char*>(data), size);
    }
    fuzzroot::WriteFile("/proc/modules", text.data(), text.size());
    const Boolean inUse = ModemsInUse();
    fuzzroot::Expect(inUse <= 1 && (inUse == 1) == Expected(text));
    return 0;
}
