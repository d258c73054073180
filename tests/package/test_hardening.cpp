// The hardened build's binaries, as readelf and objdump see them: PIE, RELRO, BIND_NOW, canaries, FORTIFY, CET.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

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
    // verinfo's only function keeps no buffer on its stack, and the
    // framework formats no text: their flags show in the other checks only.
    const struct {
        const char* path;
        bool program;          // an executable, which must be PIE
        bool hasBuffers;       // has local arrays, so -fstack-protector-strong puts canaries in
        bool formats;          // calls the printf family directly
        const char* function;  // a function of our own, whose entry -fcf-protection marks
    } binaries[] = {
        {PLUGIN_PATH, false, true, true, "getIDiagnostics"},
        {FRAMEWORK_PATH, false, true, false, "_ZN10QuarnDiags10DeviceEnum17IDeviceEnumeratorC1Ev"},
        {DIAGHOST_PATH, true, true, true, "main"},
        {MODEMSIM_PATH, true, true, true, "main"},
        {VERINFO_PATH, true, false, true, "main"},
    };
    for (const auto& binary : binaries) {
        SCOPED_TRACE(binary.path);
        const std::string file = std::string(" '") + binary.path + "'";
        const std::string dynamic = tool(READELF " -dW" + file);
        const std::string symbols = tool(READELF " -sW --dyn-syms" + file);
        EXPECT_TRUE(has(tool(READELF " -hW" + file), "Type:                              DYN"));
        if (binary.program) {
            EXPECT_TRUE(has(dynamic, "PIE")) << dynamic;
        }
        EXPECT_TRUE(has(tool(READELF " -lW" + file), "GNU_RELRO")) << "no RELRO segment";
        EXPECT_TRUE(has(dynamic, "BIND_NOW") && has(dynamic, "Flags: NOW")) << dynamic;
        EXPECT_TRUE(!binary.hasBuffers || has(symbols, "__stack_chk_fail")) << "no stack protector";
        // FORTIFY turns direct printf-family calls into their checking
        // forms (calls through a pointer, as in libstdc++, stay plain).
        EXPECT_TRUE(!binary.formats || has(symbols, "printf_chk@")) << "no FORTIFY";

        // The x86 CET property note needs every linked object marked, and
        // this system's C start files are not; what the flag does to our own
        // code is the end-branch instruction at each function entry.
        const std::string defined = tool(NM " -D --defined-only" + file + " 2>/dev/null; " NM " --defined-only" + file);
        const std::size_t at = defined.find(" T " + std::string(binary.function) + "\n");
        ASSERT_NE(std::string::npos, at) << "no symbol " << binary.function;
        const std::size_t lineStart = defined.rfind('\n', at) + 1;
        const std::string address = defined.substr(lineStart, at - lineStart);
        const std::string code = tool(OBJDUMP " -d --start-address=0x" + address + " --stop-address=$((0x" + address +
                                      " + 4))" + file);
        EXPECT_TRUE(has(code, "endbr64") || has(code, "endbr32")) << code;
    }
}
