// One log line per message, whatever control characters a modem or a file puts into it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ExportClass.h"
#include "LogCapture.h"
#include "ModemDeviceEnumerator.h"
#include "SimulatedRoot.h"
#include "Velk.h"
#include "VirtualModem.h"

using testsupport::LogCapture;

TEST(LogLines, ControlCharactersAreWrittenAsVisibleEscapes)
{
    struct Case {
        std::string text;
        std::string line;
    };
    const Case cases[] = {
        {"3.5\nforged", "3.5\\nforged"},
        {"one\r\ntwo", "one\\r\\ntwo"},
        {"\x1b]0;title\x07\x1b[2J", "\\x1b]0;title\\x07\\x1b[2J"},
        {"del\x7f nul\x01 unit\x1f", "del\\x7f nul\\x01 unit\\x1f"},
        // Tabs are part of the plug-in's own lines; other bytes pass as they are.
        {"\tDevice name: Mod\xc3\xa8m \\n", "\tDevice name: Mod\xc3\xa8m \\n"},
        // The cut at 511 characters never splits an escape.
        {std::string(510, 'x') + "\n", std::string(510, 'x')},
        {std::string(507, 'x') + "\x1b", std::string(507, 'x') + "\\x1b"},
    };
    LogCapture log;
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        LogMessage("%s", c.text.c_str());
        expected.push_back(c.line);
    }
    // The prefixed functions escape the whole line, prefix included.
    SetFunctionName("Op\n");
    ProgressMessage("%s", "a\nb");
    expected.push_back("Op\\n() - a\\nb");
    SetFunctionName("");
    ErrorMessage("%s", "c\rd");
    expected.push_back("Tessaly Modem Diagnostics: c\\rd");
    EXPECT_EQ(expected, log.lines());
}

// A modem whose ati3 reply carries a line feed and terminal escapes gets a
// firmware revision with them, and the enumeration log still shows it on
// its one line: nothing the modem sends starts a line of its own.
TEST(LogLines, Ati3ReplyWithLineFeedAndEscapeStaysOneLine)
{
    modemsim::SimulatedRoot root;
    root.exportToEnvironment();
    modemsim::VirtualModem modem;
    modemsim::ModemProfile profile;
    profile.answer("I3").info = "Tessaly Parlance V.92 Version 3.5\x1b]0;owned\x07\nStatus: Normal exit";
    modem.setProfile(profile);
    root.addModem(0, 9);
    root.linkTty(0, modem.slavePath());

    LogCapture log;
    {
        QuarnDiags::ModemDiag::ModemDeviceEnumerator enumerator(false,
                                                                QuarnDiags::DeviceEnum::IDeviceEnumerator::CUSTOMER);
        ASSERT_EQ(1u, enumerator.getDeviceVector("", 0)->size());
    }
    unsetenv("MODEMDIAG_SYSROOT");

    int found = 0;
    for (const std::string& line : log.lines()) {
        EXPECT_EQ(std::string::npos, line.find('\x1b')) << line;
        EXPECT_NE(0u, line.find("Status: Normal exit")) << "forged line";
        if (line.find("revision: 3.5\\x1b]0;owned\\x07\\nStatus: Normal exit") != std::string::npos) {
            ++found;
        }
    }
    EXPECT_EQ(1, found);
}
