// The package manifest reader.
#include <gtest/gtest.h>

#include "PackageConfig.h"

using diaghost::PackageConfig;

TEST(Manifest, ReadsEntriesAroundCommentsBlanksAndForeignSections)
{
    PackageConfig config;
    std::string error;
    ASSERT_TRUE(diaghost::parsePackageConfig("# comment\n; comment\n\n[package]\n  library =  lib.so  \nother = x\n"
                                             "[tools]\nanything goes = here\n[tests]\nb = Second\na=\n"
                                             "[messages]\n7 = SEVEN: a text: with a colon\n",
                                             config, error))
        << error;
    EXPECT_EQ("lib.so", config.library);
    EXPECT_EQ(1, config.testIndex("a"));
    EXPECT_EQ("SEVEN a text: with a colon", config.codeName(7) + " " + config.codeText(7));
}

TEST(Manifest, RejectsMalformedTextsNamingTheLine)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"[package\nlibrary = x\n", "line 1: section header"},
        {"library = x\n", "line 1: entry outside any section"},
        {"[package]\nlibrary = x\n[tests]\nat = A\nat = B\n", "line 5: test 'at' named twice"},
        {"[package]\nlibrary = x\n[messages]\nten = TEN: text\n", "line 4: message code 'ten' is not a number"},
        {"[package]\nlibrary = x\n[messages]\n99999999999 = BIG\n", "line 4: message code"},
        {"[package]\nlibrary = x\n[messages]\n10 = ten: text\n", "line 4: expected '<code> = <NAME>: <text>'"},
        {"[tests]\nat = A\n", "no 'library' entry"},
    };
    for (const auto& c : cases) {
        PackageConfig config;
        std::string error;
        EXPECT_FALSE(diaghost::parsePackageConfig(c.text, config, error)) << c.text;
        EXPECT_NE(std::string::npos, error.find(c.error)) << c.text << " gave: " << error;
    }
}
