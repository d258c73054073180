// Message functions: prefixes, the 511-character cut and dropped lines.
#include <gtest/gtest.h>

#include <string>

#include "LogCapture.h"
#include "PombexIface.h"
#include "Velk.h"

using testsupport::LogCapture;

TEST(Messages, PrefixWithOperationNameOrFixedTag)
{
    LogCapture log;
    SetFunctionName("ModemDeviceEnumerator::getDeviceVector");
    ProgressMessage("Started");
    ErrorMessage("code %d", 7);
    SetFunctionName("");
    ErrorMessage("Error closing port");
    ProgressMessage("Normal exit");
    LogMessage("plain %s", "line");

    const std::vector<std::string> expected = {
        "ModemDeviceEnumerator::getDeviceVector() - Started",
        "ModemDeviceEnumerator::getDeviceVector() - code 7",
        "Tessaly Modem Diagnostics: Error closing port",
        "Status: Normal exit",
        "plain line",
    };
    EXPECT_EQ(expected, log.lines());
}

TEST(Messages, LinesAndOperationNamesAreCutAt511Characters)
{
    LogCapture log;
    const std::string longText(600, 'x');
    LogMessage("%s", longText.c_str());
    ErrorMessage("%s", longText.c_str());

    // A 600-character name keeps its first 511 characters.
    const std::string longName = std::string(500, 'n') + std::string(100, 'm');
    SetFunctionName(longName.c_str());
    EXPECT_EQ(longName.substr(0, 511), std::string(gFunctionName));
    ProgressMessage("tail");

    const auto lines = log.lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(longText.substr(0, 511), lines[0]);
    EXPECT_EQ(("Tessaly Modem Diagnostics: " + longText).substr(0, 511), lines[1]);
    EXPECT_EQ(longName.substr(0, 511), lines[2]);
}

TEST(Messages, VerboseDataOnlyWhenVerboseTakenAsTextAndClosedLogsDropLines)
{
    LogCapture log;
    gVerboseMode = 0;
    ReportVerboseData("hidden %d", 1);
    gVerboseMode = 1;
    ReportVerboseData("%s", "rate 100%d done");
    ReportInternalError("%s", "50% of %s");
    gVerboseMode = 0;
    // A closed stream, or none, drops lines without complaint.
    log.stream().close();
    LogMessage("dropped");
    std::ofstream* saved = gpLogFile;
    gpLogFile = nullptr;
    ErrorMessage("dropped");
    gpLogFile = saved;

    const std::vector<std::string> expected = {
        "Tessaly Modem Diagnostics: rate 100%d done",
        "Tessaly Modem Diagnostics: 50% of %s",
    };
    EXPECT_EQ(expected, log.lines());
}

TEST(Messages, GetTestParameterFindsNothingAndLeavesTheBufferAlone)
{
    char buffer[16] = "default";
    for (const char* name : {"FRIENDLY_NAME", "DEVICE_ID", "VENDOR_ID", "", "anything"}) {
        EXPECT_EQ(0, GetTestParameter(name, buffer, sizeof buffer));
        EXPECT_STREQ("default", buffer);
    }
}
