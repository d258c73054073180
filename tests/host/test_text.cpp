// diaghost's terminal text: escaping of untrusted bytes, fitting and wrapping to a width, table columns.
#include <gtest/gtest.h>

#include <cstdio>

#include "Table.h"
#include "Text.h"

using diaghost::printable;

TEST(HostText, ControlCharactersAndBrokenUtf8BecomeVisibleEscapes)
{
    const struct {
        std::string raw;
        std::string shown;
    } cases[] = {
        {"a\nb\rc\td", "a\\nb\\rc\\td"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"del\x7f", "del\\x7f"},
        // UTF-8 text stays (that any well-formed text without controls
        // comes back as it was is fuzz_text's); the C1 control CSI
        // (U+009B) does not.
        {"caf\xc3\xa9 \xc2\x9b" "2J", "caf\xc3\xa9 \\xc2\\x9b2J"},
        // What is not UTF-8, byte by byte: a lone CSI byte, a cut
        // sequence, an overlong "/", a surrogate, a code point above
        // U+10FFFF. (The JUnit and metrics writers share the recogniser.)
        {"\x9b" "2J", "\\x9b2J"},
        {"\xe2\x82 \xc0\xaf \xed\xa0\x80", "\\xe2\\x82 \\xc0\\xaf \\xed\\xa0\\x80"},
        {"\xf4\x90\x80\x80 \xf0\x9f\x93\x9e", "\\xf4\\x90\\x80\\x80 \xf0\x9f\x93\x9e"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shown, printable(c.raw)) << ::testing::PrintToString(c.raw);
    }
}

TEST(HostText, FittingAndWrappingNeverExceedTheWidth)
{
    setenv("LANG", "C", 1);  // "..." as the ellipsis
    EXPECT_EQ("TEST_CO...", diaghost::fitWidth("TEST_COMPLETED_SUCCESSFULLY", 10));

    // Later lines indented; a word longer than a line cut where the line
    // ends. (That no line is wider and nothing but blanks is lost, for any
    // text and width, is fuzz_text's to check.)
    EXPECT_EQ((std::vector<std::string>{"info CORRECT:", "    The modem", "    said OK /a/v", "    ery/long/pat", "    h"}),
              diaghost::wrapWords("info CORRECT: The modem said OK /a/very/long/path", 16, 4));
    // Blanks that align columns stay as they are on an unbroken line.
    EXPECT_EQ("  at        PASSED", diaghost::wrapWords("  at        PASSED  0.1 s", 20, 4).front());
    // A colour sequence takes no column and is never cut; leading blanks
    // wider than a line leave it a column for the text.
    EXPECT_EQ((std::vector<std::string>{"\033[1;31mABCDE", "FGHIJ", "KL\033[0m"}),
              diaghost::wrapWords("\033[1;31mABCDEFGHIJKL\033[0m", 5, 0));
    EXPECT_EQ((std::vector<std::string>{"   w", "ord"}), diaghost::wrapWords("          word", 4, 0));
    // Kept whole, a path wider than the line takes a line of its own, to be copied in one piece.
    EXPECT_EQ((std::vector<std::string>{"Log files:", "  /var/log/diaghost/TSYmodemDeviceEnumerator.log", "  (kept)"}),
              diaghost::wrapWords("Log files: /var/log/diaghost/TSYmodemDeviceEnumerator.log (kept)", 20, 2, false));
}

// A table never cuts a cell: prose wraps down to its longest word, then
// columns that may move go to a second line of each row, and when even that
// does not fit every row becomes a block of fields.
TEST(HostText, NarrowTablesWrapMoveColumnsThenShowFieldsButCutNothing)
{
    using diaghost::Table;
    Table table({{"MODEM"}, {"TEST"}, {"CODE", 2, true}, {"TIME", 1}}, 2);
    table.row({{"0 ttySM0"}, {"loopback"}, {"LOOPBACK_TEST_NO_ERRORS_REPORTED"}, {"23.0 s"}});
    table.row({{"2 -"}, {"at"}, {"not started: the run was interrupted"}, {"-"}});
    const struct {
        std::size_t width;  // 0: no terminal
        Table::Form form;
        const char* widths;      // of each column
        const char* secondLine;  // the columns that moved, as 0 and 1
    } cases[] = {
        {0, Table::Form::OneLine, "8 8 36 6", ""},
        {62, Table::Form::OneLine, "8 8 32 6", ""},      // the reason wraps; the code stays whole
        {61, Table::Form::TwoLines, "8 8 36 6", "0001"},  // TIME moves first
        {46, Table::Form::TwoLines, "8 8 32 6", "0011"},  // then the code, whole on its line
        {40, Table::Form::Fields, "", ""},                // the code fits no line of a table
    };
    for (const auto& c : cases) {
        const Table::Layout layout = table.layout(c.width);
        std::string widths;
        for (std::size_t width : layout.widths) {
            widths += (widths.empty() ? "" : " ") + std::to_string(width);
        }
        std::string moved;
        for (bool second : layout.onSecondLine) {
            moved += second ? "1" : "0";
        }
        EXPECT_EQ(c.form, layout.form) << c.width;
        EXPECT_EQ(c.widths, widths) << c.width;
        EXPECT_EQ(c.secondLine, moved) << c.width;
    }
}
