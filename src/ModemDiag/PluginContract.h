// PluginContract.h - what the plug-in writes and its host reads back: log names and folder, device texts, log lines.
#pragma once

#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

// The host reads the plug-in's logs and device texts and decides what the
// plug-in would have decided from the same paths. Each of those facts is
// written here once, the writer and the reader side by side, so that the two
// cannot drift apart. Header only: the plug-in writes with it and the host
// (diaghost) reads with it, neither linking the other.
namespace modemdiag {

// The plug-in's two logs, in its log folder.
constexpr char kEnumeratorLogName[] = "TSYmodemDeviceEnumerator.log";
constexpr char kDiagnosticLogName[] = "TSYmodemDiagnostic.log";

// The folder of path: the text before its last "/". False, folder left as
// it was, for a path without one.
inline bool FolderOfPath(const std::string& path, std::string& folder)
{
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return false;
    }
    folder = path.substr(0, slash);
    return true;
}

// The folders follow from the package configuration path by text alone:
// the package folder is the folder of the path, the log folder the package
// folder's parent followed by "/log". A folder the text cannot give keeps
// what it was.
inline void FoldersOfPackage(const std::string& configPath, std::string& packageFolder, std::string& logFolder)
{
    FolderOfPath(configPath, packageFolder);
    std::string parent;
    if (FolderOfPath(packageFolder, parent)) {
        logFolder = parent + "/log";
    }
}

// Reading back: a literal at text[at]; the number text[at, end) is written
// as in base, at most limit (digits only: no sign, no blank); the decimal
// digits at text[at] as such a number. Each moves at past what it read.
inline bool ReadLiteral(const std::string& text, std::size_t& at, const char* literal)
{
    const std::size_t length = std::strlen(literal);
    if (text.compare(at, length, literal) != 0) {
        return false;
    }
    at += length;
    return true;
}

inline bool ReadNumber(const std::string& text, std::size_t& at, std::size_t end, int base, unsigned long limit,
                       unsigned* value)
{
    unsigned long read = 0;
    const char* last = text.data() + end;
    const std::from_chars_result result = std::from_chars(text.data() + at, last, read, base);
    at = end;
    *value = static_cast<unsigned>(read);
    return result.ec == std::errc() && result.ptr == last && read <= limit;
}

inline bool ReadDecimal(const std::string& text, std::size_t& at, unsigned long limit, unsigned* value)
{
    std::size_t end = at;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        ++end;
    }
    return end > at && ReadNumber(text, at, end, 10, limit, value);
}

// A device's location: "PCI Bus <b>, Device <d>, Function <f>", decimal.
constexpr char kLocationBus[] = "PCI Bus ";
constexpr char kLocationDevice[] = ", Device ";
constexpr char kLocationFunction[] = ", Function ";

inline void FormatLocation(char* text, std::size_t size, int bus, int device, int function)
{
    std::snprintf(text, size, "%s%d%s%d%s%d", kLocationBus, bus, kLocationDevice, device, kLocationFunction,
                  function);
}

// A location text read back: bus up to 255, device up to 31, function up
// to 7, nothing around it; false for any other text.
inline bool ReadLocation(const std::string& text, unsigned* bus, unsigned* device, unsigned* function)
{
    std::size_t at = 0;
    return ReadLiteral(text, at, kLocationBus) && ReadDecimal(text, at, 0xFF, bus) &&
           ReadLiteral(text, at, kLocationDevice) && ReadDecimal(text, at, 0x1F, device) &&
           ReadLiteral(text, at, kLocationFunction) && ReadDecimal(text, at, 7, function) && at == text.size();
}

// The additional hardware information of a device in a known slot (not 0)
// without a number of its own: "PCI Slot <n>", decimal.
constexpr char kSlotText[] = "PCI Slot ";

inline void FormatSlot(char* text, std::size_t size, int slot)
{
    std::snprintf(text, size, "%s%d", kSlotText, slot);
}

// The slot of a slot text read back (1 up to INT_MAX); 0 for any other text.
inline int ReadSlot(const std::string& text)
{
    std::size_t at = 0;
    unsigned slot = 0;
    const bool whole = ReadLiteral(text, at, kSlotText) && ReadDecimal(text, at, INT_MAX, &slot) &&
                       at == text.size() && slot != 0;
    return whole ? static_cast<int>(slot) : 0;
}

// The diagnostic log's lines. A test's own line is
//   "ModemDiag::<class>::<function>() [<tty>]" and, when it has a text,
//   " - <text>" after it;
// each run of a test opens with the line of its function "run" without a
// text. An error line is "Tessaly Modem Diagnostics: <what failed>".
constexpr char kTestLinePrefix[] = "ModemDiag::";
constexpr char kTestLineTty[] = "() [";
constexpr char kTestLineTtyEnd = ']';
constexpr char kTestLineText[] = " - ";
constexpr char kTestRunFunction[] = "run";
constexpr char kErrorLinePrefix[] = "Tessaly Modem Diagnostics: ";

// The head of a test's line, up to the "]" after the tty, and the text
// separator after it when withText.
inline void FormatTestLineHead(char* text, std::size_t size, const char* className, const char* function,
                               const char* tty, bool withText)
{
    std::snprintf(text, size, "%s%s::%s%s%s%c%s", kTestLinePrefix, className, function, kTestLineTty, tty,
                  kTestLineTtyEnd, withText ? kTestLineText : "");
}

}  // namespace modemdiag
