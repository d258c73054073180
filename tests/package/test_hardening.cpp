// The hardened build's binaries, as readelf and objdump see them: PIE, RELRO, BIND_NOW, canaries, FORTIFY, CET.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

struct Binary {
    const char* path;
    bool program;          // an executable, which must be PIE
    bool hasBuffers;       // has local arrays, so -fstack-protector-strong puts canaries in
    bool formats;          // calls the printf family directly
    const char* function;  // a function of our own, whose entry -fcf-protection marks
};

// verinfo's only function keeps no buffer on its stack, and the framework
// formats no text: their flags show in the other checks only.
const Binary kBinaries[] = {
    {PLUGIN_PATH, false, true, true, "getIDiagnostics"},
    {FRAMEWORK_PATH, false, true, false, "_ZN10QuarnDiags10DeviceEnum17IDeviceEnumeratorC1Ev"},
    {DIAGHOST_PATH, true, true, true, "main"},
    {MODEMSIM_PATH, true, true, true, "main"},
    {VERINFO_PATH, true, false, true, "main"},
};


std::string tool(const std::string& command)
{
    int status = -1;
    const std::string out = testsupport::runCommand(command + " 2>&1", &status);
    EXPECT_EQ(0, status) << command << ":\n" << out;
    return out;
}

bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(HardenedBinaries, CarryEveryFlagTheirCodeCanShow)
{
    for (const Binary& binary : kBinaries) {
        SCOPED_TRACE(binary.path);
        const std::string file = std::string("'") + binary.path + "'";
        const std::string header = tool(READELF " -hW " + file);
        const std::string segments = tool(READELF " -lW " + file);
        const std::string dynamic = tool(READELF " -dW " + file);
        const std::string symbols = tool(READELF " -sW --dyn-syms " + file);

        EXPECT_TRUE(has(header, "Type:                              DYN")) << header;
        if (binary.program) {
            EXPECT_TRUE(has(dynamic, "Flags: NOW PIE") || has(dynamic, "PIE")) << dynamic;
        }
        EXPECT_TRUE(has(segments, "GNU_RELRO")) << "no RELRO segment";
        EXPECT_TRUE(has(dynamic, "BIND_NOW") && has(dynamic, "Flags: NOW")) << dynamic;
        if (binary.hasBuffers) {
            EXPECT_TRUE(has(symbols, "__stack_chk_fail")) << "no stack protector";
        }
        // FORTIFY turns direct printf-family calls into their checking
        // forms (calls through a pointer, as in libstdc++, stay plain).
        if (binary.formats) {
            EXPECT_TRUE(has(symbols, "printf_chk@")) << "no FORTIFY";
        }
    }
}

TEST(HardenedBinaries, MarkIndirectBranchTargetsForControlFlowProtection)
{
    // The x86 CET property note needs every linked object marked, and this
    // system's C start files are not; what the flag does to our own code is
    // the end-branch instruction at each function entry.
    for (const Binary& binary : kBinaries) {
        SCOPED_TRACE(binary.path);
        const std::string symbols = tool(NM " -D --defined-only '" + std::string(binary.path) + "' 2>/dev/null; " NM
                                         " --defined-only '" + binary.path + "'");
        const std::string entry = " T " + std::string(binary.function) + "\n";
        const std::size_t at = symbols.find(entry);
        ASSERT_NE(std::string::npos, at) << "no symbol " << binary.function;
        const std::size_t lineStart = symbols.rfind('\n', at) + 1;
        const std::string address = symbols.substr(lineStart, at - lineStart);
        const std::string code = tool(OBJDUMP " -d --start-address=0x" + address + " --stop-address=$((0x" +
                                      address + " + 4)) '" + binary.path + "'");
        EXPECT_TRUE(has(code, "endbr64") || has(code, "endbr32")) << code;
    }
}
