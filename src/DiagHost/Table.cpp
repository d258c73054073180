// Table.cpp - column widths, wrapping and printing of a table.
#include "Table.h"

#include <algorithm>

#include "Text.h"

namespace diaghost {

constexpr std::size_t kGap = 2;
constexpr std::size_t kSecondLineIndent = 4;  // beyond the table's own indent

namespace {

std::size_t longestWord(const std::string& text)
{
    std::size_t longest = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = text.find_first_not_of(' ', at);
        if (start == std::string::npos) {
            break;
        }
        at = std::min(text.find(' ', start), text.size());
        longest = std::max(longest, displayWidth(text.substr(start, at - start)));
    }
    return longest;
}

}  // namespace

Table::Table(std::vector<Column> columns, std::size_t indent) : m_columns(std::move(columns)), m_indent(indent) {}

void Table::row(std::vector<Cell> cells)
{
    for (Cell& cell : cells) {
        cell.text = printable(cell.text);
    }
    cells.resize(m_columns.size());
    m_rows.push_back(std::move(cells));
}

bool Table::fitLine(const std::vector<bool>& line, std::size_t indent, std::size_t width,
                    std::vector<std::size_t>& widths) const
{
    widths.assign(m_columns.size(), 0);
    std::vector<std::size_t> least(m_columns.size(), 0);
    std::size_t total = indent;
    bool first = true;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (!line[i]) {
            continue;
        }
        widths[i] = displayWidth(m_columns[i].heading);
        least[i] = m_columns[i].wraps ? longestWord(m_columns[i].heading) : widths[i];
        for (const std::vector<Cell>& cells : m_rows) {
            widths[i] = std::max(widths[i], displayWidth(cells[i].text));
            least[i] = std::max(least[i], m_columns[i].wraps ? longestWord(cells[i].text) : widths[i]);
        }
        total += widths[i] + (first ? 0 : kGap);
        first = false;
    }
    if (width == 0) {
        return true;
    }
    // The widest prose column gives up a column at a time, down to its longest word.
    while (total > width) {
        std::size_t widest = m_columns.size();
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            if (widths[i] > least[i] && (widest == m_columns.size() || widths[i] > widths[widest])) {
                widest = i;
            }
        }
        if (widest == m_columns.size()) {
            return false;
        }
        --widths[widest];
        --total;
    }
    return true;
}

Table::Layout Table::layout(std::size_t width) const
{
    Layout layout;
    std::vector<bool> first(m_columns.size(), true);
    if (fitLine(first, m_indent, width, layout.widths)) {
        return layout;
    }
    // Columns that may move go to the second line, rank by rank, until the first line fits.
    int lastRank = 0;
    for (const Column& column : m_columns) {
        lastRank = std::max(lastRank, column.dropRank);
    }
    std::vector<std::size_t> secondWidths;
    for (int rank = 1; rank <= lastRank; ++rank) {
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            first[i] = first[i] && m_columns[i].dropRank != rank;
        }
        std::vector<bool> second(first.size());
        std::transform(first.begin(), first.end(), second.begin(), [](bool on) { return !on; });
        if (fitLine(first, m_indent, width, layout.widths) &&
            fitLine(second, m_indent + kSecondLineIndent, width, secondWidths)) {
            layout.form = Form::TwoLines;
            layout.onSecondLine = second;
            for (std::size_t i = 0; i < m_columns.size(); ++i) {
                layout.widths[i] = second[i] ? secondWidths[i] : layout.widths[i];
            }
            return layout;
        }
    }
    layout.form = Form::Fields;
    layout.widths.clear();
    return layout;
}

void Table::printLine(Console& console, const std::vector<Cell>& cells, const std::vector<bool>& line,
                      std::size_t indent, const std::vector<std::size_t>& widths, bool heading) const
{
    // Each cell's lines: prose wrapped within its column, words whole.
    std::vector<std::vector<std::string>> parts(cells.size());
    std::size_t height = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (line[i]) {
            parts[i] = m_columns[i].wraps ? wrapWords(cells[i].text, widths[i], 0, false)
                                          : std::vector<std::string>{cells[i].text};
            height = std::max(height, parts[i].size());
        }
    }
    for (std::size_t row = 0; row < height; ++row) {
        std::string text(indent, ' ');
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (!line[i]) {
                continue;
            }
            const std::string part = row < parts[i].size() ? parts[i][row] : std::string();
            // The padding and the gap go outside the colour; the last cell's go with the line's end.
            text += console.paint(part, heading ? Colour::Bold : cells[i].colour);
            text += std::string(widths[i] - std::min(widths[i], displayWidth(part)) + kGap, ' ');
        }
        text.erase(text.find_last_not_of(' ') + 1);
        console.line(text);
    }
}

void Table::print(Console& console) const
{
    const Layout shape = layout(console.width());
    std::vector<Cell> headings;
    for (const Column& column : m_columns) {
        headings.push_back(Cell{column.heading, Colour::Plain});
    }
    if (shape.form == Form::Fields) {
        // One field a line, "HEADING  value", a blank line between rows.
        std::size_t widest = 0;
        for (const Column& column : m_columns) {
            widest = std::max(widest, displayWidth(column.heading));
        }
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            if (r > 0) {
                console.line();
            }
            for (std::size_t i = 0; i < m_columns.size(); ++i) {
                const Cell& cell = m_rows[r][i];
                const std::string heading = console.paint(pad(m_columns[i].heading, widest), Colour::Bold);
                console.line(std::string(m_indent, ' ') + heading + "  " + console.paint(cell.text, cell.colour));
            }
        }
        return;
    }
    std::vector<bool> first(m_columns.size(), true);
    std::vector<bool> second(m_columns.size(), false);
    if (shape.form == Form::TwoLines) {
        second = shape.onSecondLine;
        std::transform(second.begin(), second.end(), first.begin(), [](bool on) { return !on; });
    }
    const auto printRow = [&](const std::vector<Cell>& cells, bool heading) {
        printLine(console, cells, first, m_indent, shape.widths, heading);
        if (shape.form == Form::TwoLines) {
            printLine(console, cells, second, m_indent + kSecondLineIndent, shape.widths, heading);
        }
    };
    printRow(headings, true);
    for (const std::vector<Cell>& cells : m_rows) {
        printRow(cells, false);
    }
}

}  // namespace diaghost
