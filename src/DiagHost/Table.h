// Table.h - a table of text columns fitted to the width of the console.
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
    int dropRank = 0;  // 0: always shown; else left out of a narrow table, rank 1 first
};

// Columns two blanks apart, each as wide as its widest cell. When the rows
// are wider than the console, the widest columns give up columns first
// (their cells end in an ellipsis), then columns that may go are left out,
// then columns shrink further, so that no row wraps.
class Table {
public:
    Table(std::vector<Column> columns, std::size_t indent);
    void row(std::vector<Cell> cells);
    // The columns' widths within width in all (0: no limit); 0 for one left out.
    std::vector<std::size_t> columnWidths(std::size_t width) const;
    void print(Console& console) const;

private:
    std::vector<Column> m_columns;
    std::vector<std::vector<Cell>> m_rows;
    std::size_t m_indent;
};

}  // namespace diaghost
