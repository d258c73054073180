// Message functions: prefixes, one line per message whatever it holds, the 511-character cut, dropped lines.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "LogCapture.h"
#include "PombexIface.h"
#include "Velk.h"

using testsupport::LogCapture;

// Control characters that a modem or a file puts into a message never end
// its line early and forge another; the cut at 511 characters never splits
// an escape.
TEST(Messages, ControlCharactersAreWrittenAsVisibleEscapes)
{
    const std::pair<std::string, std::string> cases[] = {
        {"3.5\nforged", "3.5\\nforged"},
        {"one\r\ntwo", "one\\r\\ntwo"},
        {"\x1b]0;title\x07\x1b[2J", "\\x1b]0;title\\x07\\x1b[2J"},
        {"del\x7f nul\x01 unit\x1f", "del\\x7f nul\\x01 unit\\x1f"},
        // Tabs are part of the plug-in's own lines; other bytes pass as they are.
        {"\tDevice name: Mod\xc3\xa8m \\n", "\tDevice name: Mod\xc3\xa8m \\n"},
        {std::string(510, 'x') + "\n", std::string(510, 'x')},
        {std::string(507, 'x') + "\x1b", std::string(507, 'x') + "\\x1b"},
        {std::string(600, 'x'), std::string(511, 'x')},
    };
    LogCapture log;
    std::vector<std::string> expected;
    for (const auto& [text, line] : cases) {
        LogMessage("%s", text.c_str());
        expected.push_back(line);
    }
    EXPECT_EQ(expected, log.lines());
}

// The operation name, or the fixed tag of the kind, goes before the text and
// is escaped and cut with it; verbose data only in verbose mode; message
// texts are never taken as formats; a closed stream, or none, drops lines.
TEST(Messages, PrefixesVerboseDataAndDroppedLines)
{
    LogCapture log;
    SetFunctionName("Op\n");
    ProgressMessage("%s", "a\nb");
    ErrorMessage("code %d", 7);
    SetFunctionName("");
    ErrorMessage("%s", "c\rd");
    ProgressMessage("Normal exit");
    const std::string longText(600, 'x');
    ErrorMessage("%s", longText.c_str());
    const std::string longName = std::string(500, 'n') + std::string(100, 'm');
    SetFunctionName(longName.c_str());
    EXPECT_EQ(longName.substr(0, 511), std::string(gFunctionName));
    ProgressMessage("tail");
    SetFunctionName("");
    ReportVerboseData("hidden %d", 1);
    gVerboseMode = 1;
    ReportVerboseData("%s", "rate 100%d done");
    gVerboseMode = 0;
    ReportInternalError("%s", "50% of %s");
    log.stream().close();
    LogMessage("dropped");
    std::ofstream* saved = gpLogFile;
    gpLogFile = nullptr;
    ErrorMessage("dropped");
    gpLogFile = saved;

    const std::vector<std::string> expected = {
        "Op\\n() - a\\nb",
        "Op\\n() - code 7",
        "Tessaly Modem Diagnostics: c\\rd",
        "Status: Normal exit",
        ("Tessaly Modem Diagnostics: " + longText).substr(0, 511),
        longName.substr(0, 511),
        "Tessaly Modem Diagnostics: rate 100%d done",
        "Tessaly Modem Diagnostics: 50% of %s",
    };
    EXPECT_EQ(expected, log.lines());
}
