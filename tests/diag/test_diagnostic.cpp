// The diagnostic: identity, registered tests, and the shared dated log file.
#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

#include "DiagHarness.h"
#include "ModemATCommandTest.h"
#include "ModemDialtoneDetectionTest.h"
#include "ModemLoopbackTest.h"

using namespace QuarnDiags;
using namespace QuarnDiags::ModemDiag;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

// Gives the tests access to what the base keeps for derived diagnostics.
struct OpenDiagnostic : ModemDiagnostic {
    using ModemDiagnostic::ModemDiagnostic;
    Diag::IFunctionalTest* test(int i) const { return m_tests.at(static_cast<std::size_t>(i)); }
    int options() const { return m_options; }
};

std::unique_ptr<OpenDiagnostic> Make(bool log)
{
    return std::make_unique<OpenDiagnostic>(log, DeviceEnum::IDeviceEnumerator::FACTORY);
}

const char* kBanner = "\n******************** <DATE>\n\n";

}  // namespace

TEST(ModemDiagnostic, IdentityAndTestsInRegistrationOrder)
{
    TempDir dir;
    g_logDirPath = dir.path();
    auto diagnostic = Make(false);
    EXPECT_STREQ("Modem Test", diagnostic->getName());
    EXPECT_STREQ("1.0", diagnostic->getVersion());
    EXPECT_STREQ("Modem  Controller Test", diagnostic->getDescription());
    ASSERT_EQ(3, diagnostic->getTestCount());
    EXPECT_NE(nullptr, dynamic_cast<ModemDialtoneDetectionTest*>(diagnostic->test(ModemDiagnostic::DIALTONE_TEST)));
    EXPECT_NE(nullptr, dynamic_cast<ModemLoopbackTest*>(diagnostic->test(ModemDiagnostic::LOOPBACK_TEST)));
    EXPECT_NE(nullptr, dynamic_cast<ModemATCommandTest*>(diagnostic->test(ModemDiagnostic::AT_COMMAND_TEST)));
    EXPECT_EQ(0, diagnostic->options());
    // Without logging no file is made.
    EXPECT_NE(0, access(dir.file("TSYmodemDiagnostic.log").c_str(), F_OK));
}

TEST(ModemDiagnostic, LoggingDiagnosticsShareOneFileWithABannerEach)
{
    TempDir dir;
    g_logDirPath = dir.path();
    const std::string path = dir.file("TSYmodemDiagnostic.log");
    testsupport::writeFile(path, "earlier content\n");

    auto first = Make(true);
    auto second = Make(true);
    EXPECT_EQ(2u, ModemDiagnostic::logFileInitCount());
    first.reset();
    EXPECT_TRUE(ModemDiagnostic::logFile().is_open());
    second.reset();
    EXPECT_FALSE(ModemDiagnostic::logFile().is_open());

    // Opened again later, in append mode, with a new banner.
    auto third = Make(true);
    third.reset();
    const std::string text = testsupport::maskDates(readFile(path));
    EXPECT_EQ(std::string("earlier content\n") + kBanner + kBanner + kBanner, text);
}

TEST(ModemDiagnostic, EveryDestructionCountsEvenWithoutLogging)
{
    TempDir dir;
    g_logDirPath = dir.path();
    auto logging = Make(true);
    auto quiet = Make(false);
    quiet.reset();
    // The count went back to 0: the file is closed under the logging one.
    EXPECT_FALSE(ModemDiagnostic::logFile().is_open());
    logging.reset();
    auto again = Make(true);
    EXPECT_TRUE(ModemDiagnostic::logFile().is_open());
}

TEST(ModemDiagnostic, AMissingLogFolderStillRunsTheTests)
{
    TempDir dir;
    unsetenv("MODEMDIAG_SYSROOT");
    modemsim::VirtualModem modem;
    auto device = diagtest::ModemOn(modem.slavePath());
    g_logDirPath = dir.file("no/such/folder");
    auto diagnostic = Make(true);
    EXPECT_FALSE(ModemDiagnostic::logFile().is_open());
    diagnostic->runTest(&device, ModemDiagnostic::AT_COMMAND_TEST, Diag::DiagnosticSettings());
    const auto outcome = diagtest::Collect(*diagnostic, ModemDiagnostic::AT_COMMAND_TEST);
    EXPECT_EQ(Diag::PASSED, outcome.verdict);
    EXPECT_EQ(3u, outcome.events.size());
}

TEST(ModemDiagnostic, TheDefaultLogFolderIsTheWorkingDirectory)
{
    TempDir dir;
    char previous[4096];
    ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
    ASSERT_EQ(0, chdir(dir.path().c_str()));
    g_logDirPath = ".";
    {
        auto diagnostic = Make(true);
    }
    EXPECT_EQ(0, chdir(previous));
    EXPECT_EQ(kBanner, testsupport::maskDates(readFile(dir.file("TSYmodemDiagnostic.log"))));
}

TEST(ModemDiagnostic, FactoryGivesDistinctObjects)
{
    TempDir dir;
    g_logDirPath = dir.path();
    std::unique_ptr<Diag::IDiagnostics> a(getIDiagnostics(true, DeviceEnum::IDeviceEnumerator::CUSTOMER));
    std::unique_ptr<Diag::IDiagnostics> b(getIDiagnostics(false, DeviceEnum::IDeviceEnumerator::BRINGUP));
    EXPECT_NE(a.get(), b.get());
    a.reset();
    EXPECT_STREQ("Modem Test", b->getName());
    EXPECT_EQ(3, b->getTestCount());
}
