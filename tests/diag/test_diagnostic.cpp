// The diagnostic: registered tests, and the shared dated log file.
#include <gtest/gtest.h>

#include <unistd.h>

#include "DiagHarness.h"
#include "ModemATCommandTest.h"
#include "ModemDialtoneDetectionTest.h"
#include "ModemLoopbackTest.h"

using namespace diagtest;
using testsupport::TempDir;

namespace {

std::unique_ptr<OpenDiagnostic> Make(bool log)
{
    return std::make_unique<OpenDiagnostic>(log, DeviceEnum::IDeviceEnumerator::FACTORY);
}

const std::string kBanner = "\n******************** <DATE>\n\n";

}  // namespace

TEST(ModemDiagnostic, TestsInRegistrationOrder)
{
    TempDir dir;
    g_logDirPath = dir.path();
    // The identity texts are checked through the host's view in the slot order case.
    auto diagnostic = Make(false);
    ASSERT_EQ(3, diagnostic->getTestCount());
    EXPECT_NE(nullptr, dynamic_cast<ModemDialtoneDetectionTest*>(diagnostic->test(0)));
    EXPECT_NE(nullptr, dynamic_cast<ModemLoopbackTest*>(diagnostic->test(1)));
    EXPECT_NE(nullptr, dynamic_cast<ModemATCommandTest*>(diagnostic->test(2)));
    // Without logging no file is made.
    EXPECT_NE(0, access(dir.file("TSYmodemDiagnostic.log").c_str(), F_OK));
}

TEST(ModemDiagnostic, LoggingDiagnosticsShareOneFileWithABannerEach)
{
    TempDir dir;
    SettleDiagnosticLog(dir.path());
    const std::string path = dir.file("TSYmodemDiagnostic.log");
    testsupport::writeFile(path, "earlier content\n");

    auto first = Make(true);
    auto second = Make(true);
    first.reset();
    EXPECT_TRUE(ModemDiagnostic::logFile().is_open());
    second.reset();
    EXPECT_FALSE(ModemDiagnostic::logFile().is_open());
    // Opened again later, appending, with a banner of its own.
    Make(true).reset();
    EXPECT_EQ("earlier content\n" + kBanner + kBanner + kBanner, testsupport::maskDates(testsupport::readFile(path)));

    // Every destruction counts, with or without logging: the file closes
    // under a logging diagnostic when a quiet one goes.
    auto logging = Make(true);
    Make(false).reset();
    EXPECT_FALSE(ModemDiagnostic::logFile().is_open());
}

TEST(ModemDiagnostic, TheDefaultLogFolderIsTheWorkingDirectoryAndAMissingOneLogsNothing)
{
    TempDir dir;
    SettleDiagnosticLog(".");
    char previous[4096];
    ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(dir.path().c_str()));
    Make(true).reset();
    EXPECT_EQ(0, chdir(previous));
    EXPECT_EQ(kBanner, testsupport::maskDates(testsupport::readFile(dir.file("TSYmodemDiagnostic.log"))));

    g_logDirPath = dir.file("no/such/folder");
    Make(true).reset();
    EXPECT_NE(0, access(dir.file("no").c_str(), F_OK));
}
