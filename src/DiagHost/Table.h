// Table.h - a table of text columns laid out for the width of the console.
#pragma once

#include <string>
#include <vector>

#include "Console.h"

namespace diaghost {

struct Cell {
    std::string text;  // shown through printable(): plug-in texts are safe here
    Colour colour = Colour::Plain;
};

struct Column {
    std::string heading;
    // 0: on a row's first line; else the column may move to a second line
    // of each row when the first would not fit, rank 1 first.
    int dropRank = 0;
    // Prose: wraps at blanks within its column. Other cells (codes, paths,
    // tty names) are never broken nor cut, and neither is any word of prose.
    bool wraps = false;
};

// Columns two blanks apart, each as wide as its widest cell. A table wider
// than the console first wraps its prose columns, then moves the columns
// that may move to a second line of each row (indented), and when even that
// does not fit shows one field a line, every row a block. No text is cut
// and no column is left out.
class Table {
public:
    enum class Form { OneLine, TwoLines, Fields };
    struct Layout {
        Form form = Form::OneLine;
        std::vector<std::size_t> widths;     // of each column on its line (Fields: none)
        std::vector<bool> onSecondLine;      // TwoLines: the columns that moved
    };

    Table(std::vector<Column> columns, std::size_t indent);
    void row(std::vector<Cell> cells);
    // How the table fits width columns in all (0: no limit).
    Layout layout(std::size_t width) const;
    void print(Console& console) const;

private:
    // The widths of the columns marked in line, fitted to width by wrapping
    // prose; false when they cannot fit.
    bool fitLine(const std::vector<bool>& line, std::size_t indent, std::size_t width,
                 std::vector<std::size_t>& widths) const;
    void printLine(Console& console, const std::vector<Cell>& cells, const std::vector<bool>& line,
                   std::size_t indent, const std::vector<std::size_t>& widths, bool heading) const;

    std::vector<Column> m_columns;
    std::vector<std::vector<Cell>> m_rows;
    std::size_t m_indent;
};

}  // namespace diaghost
