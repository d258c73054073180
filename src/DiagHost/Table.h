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
    // 0: always shown. Otherwise the column may be left out of a narrow
    // table, rank 1 first.
    int dropRank = 0;
};

// Columns two blanks apart, each as wide as its widest cell. When the rows
// are wider than the console, the widest columns give up columns first
// (their cells end in an ellipsis), then columns that may go are left out,
// then columns shrink further, so that no row wraps.
class Table {
public:
    Table(std::vector<Column> columns, std::size_t indent);
    void row(std::vector<Cell> cells);
    // The widths the columns get within width columns in all (0: no
    // limit); a column left out gets 0.
    std::vector<std::size_t> columnWidths(std::size_t width) const;
    void print(Console& console) const;

private:
    std::vector<Column> m_columns;
    std::vector<std::vector<Cell>> m_rows;
    std::size_t m_indent;
};

}  // namespace diaghost
