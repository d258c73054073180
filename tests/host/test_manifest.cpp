// The package manifest reader and the small decoders of device texts.
#include <gtest/gtest.h>

#include <set>

#include "PackageConfig.h"
#include "Records.h"
#include "Reports.h"
#include "TestSupport.h"

using diaghost::PackageConfig;

TEST(ShippedManifest, NamesTheLibraryTheTestsInOrderAndEveryMessageCode)
{
    PackageConfig config;
    std::string error;
    ASSERT_TRUE(diaghost::loadPackageConfig(SHIPPED_PKG_CFG, config, error)) << error;
    EXPECT_EQ("libTSYmodemDiag.so", config.library);
    ASSERT_EQ(3u, config.tests.size());
    EXPECT_EQ(0, config.testIndex("dialtone"));
    EXPECT_EQ(1, config.testIndex("loopback"));
    EXPECT_EQ(2, config.testIndex("at"));

    const std::set<QuarnDiags::Uint> codes = {0, 1, 2, 3, 100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112};
    for (QuarnDiags::Uint code : codes) {
        EXPECT_EQ(1u, config.messages.count(code)) << code;
        EXPECT_FALSE(config.codeText(code).empty()) << code;
    }
    EXPECT_EQ(codes.size(), config.messages.size());
    EXPECT_EQ("NO_DIALTONE_WARNING", config.codeName(109));
    EXPECT_EQ("INCORRECT_AT_RESPONSE_WARNING", config.codeName(112));
    EXPECT_EQ("No dial tone on the line: check that the phone cable is plugged in", config.codeText(109));
}

TEST(Manifest, ReadsEntriesAroundCommentsBlanksAndForeignSections)
{
    PackageConfig config;
    std::string error;
    ASSERT_TRUE(diaghost::parsePackageConfig("# comment\n; comment\n\n[package]\n  library =  lib.so  \nother = x\n"
                                             "[tools]\nanything goes = here\n"
                                             "[tests]\nb = Second thing\na=\n"
                                             "[messages]\n7 = SEVEN: a text: with a colon\n8 = EIGHT\n",
                                             config, error))
        << error;
    EXPECT_EQ("lib.so", config.library);
    ASSERT_EQ(2u, config.tests.size());
    EXPECT_EQ("b", config.testName(0));
    EXPECT_EQ("Second thing", config.tests[0].title);
    EXPECT_EQ("a", config.testName(1));
    EXPECT_EQ("SEVEN", config.codeName(7));
    EXPECT_EQ("a text: with a colon", config.codeText(7));
    EXPECT_EQ("EIGHT", config.codeName(8));
    EXPECT_EQ("", config.codeText(8));
}

TEST(Manifest, FallsBackToNeutralNamesForWhatItDoesNotName)
{
    PackageConfig config;
    EXPECT_EQ("CODE_999", config.codeName(999));
    EXPECT_EQ("", config.codeText(999));
    EXPECT_EQ("test4", config.testName(4));
    EXPECT_EQ(-1, config.testIndex("dialtone"));
}

TEST(Manifest, RejectsMalformedTextsNamingTheLine)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"[package]\nlibrary lib.so\n", "line 2: expected 'key = value'"},
        {"[package\nlibrary = x\n", "line 1: section header"},
        {"library = x\n", "line 1: entry outside any section"},
        {"[package]\nlibrary = x\n[tests]\nat = A\nat = B\n", "line 5: test 'at' named twice"},
        {"[package]\nlibrary = x\n[messages]\nten = TEN: text\n", "line 4: message code 'ten' is not a number"},
        {"[package]\nlibrary = x\n[messages]\n10 = ten: text\n", "line 4: expected '<code> = <NAME>: <text>'"},
        {"[package]\nlibrary = x\n[messages]\n99999999999 = BIG\n", "line 4: message code"},
        {"[package]\n = x\n", "line 2: empty key"},
        {"[tests]\nat = A\n", "no 'library' entry"},
        {"", "no 'library' entry"},
    };
    for (const auto& c : cases) {
        PackageConfig config;
        std::string error;
        EXPECT_FALSE(diaghost::parsePackageConfig(c.text, config, error)) << c.text;
        EXPECT_NE(std::string::npos, error.find(c.error)) << c.text << " gave: " << error;
    }
}

TEST(Manifest, PlacesTheLibraryInTheManifestsFolder)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("pkg.cfg"), "[package]\nlibrary = libX.so\n");
    PackageConfig config;
    std::string error;
    ASSERT_TRUE(diaghost::loadPackageConfig(dir.file("pkg.cfg"), config, error)) << error;
    EXPECT_EQ(dir.file("libX.so"), config.libraryPath());

    config.library = "/opt/lib/libY.so";
    EXPECT_EQ("/opt/lib/libY.so", config.libraryPath());

    EXPECT_FALSE(diaghost::loadPackageConfig(dir.file("missing.cfg"), config, error));
    EXPECT_NE(std::string::npos, error.find("cannot read package " + dir.file("missing.cfg"))) << error;
}

TEST(SlotText, GivesTheSlotOnlyForTheWholeSlotPhrase)
{
    const struct {
        const char* text;
        int slot;
    } cases[] = {
        {"PCI Slot 1", 1}, {"PCI Slot 12", 12}, {"PCI Slot 3 ", 3}, {"", 0},          {"PCI Slot", 0},
        {"PCI Slot 0", 0}, {"PCI Slot -2", 0},  {"PCI Slot 4x", 0}, {"Slot 4", 0},    {"J12 riser", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.slot, diaghost::slotFromHWInfo(c.text)) << "'" << c.text << "'";
    }
}

TEST(XmlText, EscapesMarkupAndDropsControlBytes)
{
    EXPECT_EQ("a &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos;", diaghost::xmlEscape("a <b> & \"c\" 'd'"));
    EXPECT_EQ("tab\there\nline ?bell", diaghost::xmlEscape("tab\there\nline \abell"));
}
