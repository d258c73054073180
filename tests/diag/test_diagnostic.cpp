// The diagnostic: its identity and the shared dated log file.
#include <gtest/gtest.h>

#include <unistd.h>

#include "DiagHarness.h"

using namespace diagtest;

namespace {

std::unique_ptr<OpenDiagnostic> Make(bool log)
{
    return std::make_unique<OpenDiagnostic>(log, DeviceEnum::IDeviceEnumerator::FACTORY);
}

const std::string kBanner = "\n******************** <DATE>\n\n";

}  // namespace

// A quiet diagnostic makes no file; logging ones share one, with a banner each.
TEST(ModemDiagnostic, LoggingDiagnosticsShareOneFileWithABannerEach)
{
    testsupport::TempDir dir;
    testsupport::settlePluginLogs(dir.path());
    const std::string path = dir.file("TSYmodemDiagnostic.log");
    Make(false).reset();
    EXPECT_NE(0, access(path.c_str(), F_OK));
    testsupport::settlePluginLogs();  // the quiet one counted itself out all the same
    testsupport::writeFile(path, "earlier content\n");

    auto first = Make(true);
    // The host shows the description (name and version are on its info screen).
    EXPECT_STREQ("Modem  Controller Test", first->getDescription());
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

    // A missing log folder is not made.
    g_logDirPath = dir.file("no/such/folder");
    Make(true).reset();
    EXPECT_NE(0, access(dir.file("no").c_str(), F_OK));
}
