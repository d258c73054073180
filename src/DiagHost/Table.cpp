// Table.cpp - column widths, shortening and printing of a table.
#include "Table.h"

#include <algorithm>
#include <numeric>

#include "Text.h"

namespace diaghost {

constexpr std::size_t kGap = 2;
constexpr std::size_t kComfortable = 16;  // columns shrink to this before any column is left out...
constexpr std::size_t kNarrowest = 4;     // ...and never below this: a few letters and the ellipsis

Table::Table(std::vector<Column> columns, std::size_t indent) : m_columns(std::move(columns)), m_indent(indent) {}

void Table::row(std::vector<Cell> cells)
{
    for (Cell& cell : cells) {
        cell.text = printable(cell.text);
    }
    cells.resize(m_columns.size());
    m_rows.push_back(std::move(cells));
}

std::vector<std::size_t> Table::columnWidths(std::size_t width) const
{
    std::vector<std::size_t> widths;
    for (const Column& column : m_columns) {
        widths.push_back(displayWidth(column.heading));
    }
    for (const std::vector<Cell>& cells : m_rows) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            widths[i] = std::max(widths[i], displayWidth(cells[i].text));
        }
    }
    if (width == 0) {
        return widths;
    }
    const auto total = [&] {
        const auto shown =
            static_cast<std::size_t>(std::count_if(widths.begin(), widths.end(), [](std::size_t w) { return w != 0; }));
        return std::accumulate(widths.begin(), widths.end(), m_indent) + (shown > 1 ? kGap * (shown - 1) : 0);
    };
    // One column at a time from the widest, so that short columns (index,
    // percent) stay whole while long texts are shortened.
    const auto shrinkTo = [&](std::size_t floor) {
        for (std::size_t sum = total(); sum > width; --sum) {
            const auto widest = std::max_element(widths.begin(), widths.end());
            if (*widest <= floor) {
                return;
            }
            --*widest;
        }
    };
    shrinkTo(kComfortable);
    int lastRank = 0;
    for (const Column& column : m_columns) {
        lastRank = std::max(lastRank, column.dropRank);
    }
    for (int rank = 1; rank <= lastRank && total() > width; ++rank) {
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            widths[i] = m_columns[i].dropRank == rank ? 0 : widths[i];
        }
    }
    shrinkTo(kNarrowest);
    return widths;
}

void Table::print(Console& console) const
{
    const std::vector<std::size_t> widths = columnWidths(console.width());
    const auto printRow = [&](const std::vector<Cell>& cells, bool heading) {
        std::string line(m_indent, ' ');
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (widths[i] == 0) {
                continue;  // left out of a narrow table
            }
            const std::string text = fitWidth(cells[i].text, widths[i]);
            // The padding and the gap go outside the colour; the last cell's go with the line's end.
            line += console.paint(text, heading ? Colour::Bold : cells[i].colour);
            line += std::string(widths[i] - displayWidth(text) + kGap, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        console.line(line);
    };
    std::vector<Cell> headings;
    for (const Column& column : m_columns) {
        headings.push_back(Cell{column.heading, Colour::Plain});
    }
    printRow(headings, true);
    for (const std::vector<Cell>& cells : m_rows) {
        printRow(cells, false);
    }
}

}  // namespace diaghost
