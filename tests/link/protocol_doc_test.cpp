// docs/protocol.md lists the link message table for people reading a line trace; these tests keep
// its id, code and length columns equal to the table the program uses.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "link/message_table.h"

namespace aurex {
namespace {

constexpr std::string_view kTableBegin = "<!-- message-table:begin -->";
constexpr std::string_view kTableEnd = "<!-- message-table:end -->";

struct DocRow
{
    int id = 0;
    std::uint8_t classByte = 0;
    std::uint8_t commandByte = 0;
    int length = 0;
    int line = 0; // 1-based line in the document

    auto Key() const { return std::tuple(id, classByte, commandByte, length); }
};

struct DocTable
{
    std::vector<DocRow> rows;
    std::string error; // empty when the table was read
};

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The cells of "| a | b |"; empty when the line is not a table row.
std::vector<std::string> Cells(std::string_view line)
{
    line = Trim(line);
    if (line.size() < 2 || line.front() != '|' || line.back() != '|') {
        return {};
    }
    std::vector<std::string> cells;
    line = line.substr(1, line.size() - 2);
    for (;;) {
        const auto bar = line.find('|');
        cells.emplace_back(Trim(line.substr(0, bar)));
        if (bar == std::string_view::npos) {
            return cells;
        }
        line.remove_prefix(bar + 1);
    }
}

bool ParseDecimal(std::string_view text, int& value)
{
    if (text.empty() || text.size() > 6) {
        return false;
    }
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// "`04 05`" (backticks optional): two hex bytes, class first.
bool ParseCode(std::string_view text, std::uint8_t& classByte, std::uint8_t& commandByte)
{
    if (text.size() >= 2 && text.front() == '`' && text.back() == '`') {
        text = text.substr(1, text.size() - 2);
    }
    if (text.size() != 5 || text[2] != ' ') {
        return false;
    }
    const int digits[4] = {HexValue(text[0]), HexValue(text[1]), HexValue(text[3]), HexValue(text[4])};
    for (const int d : digits) {
        if (d < 0) {
            return false;
        }
    }
    classByte = static_cast<std::uint8_t>(digits[0] * 16 + digits[1]);
    commandByte = static_cast<std::uint8_t>(digits[2] * 16 + digits[3]);
    return true;
}

bool IsDirection(std::string_view text)
{
    return text == "program->radio" || text == "radio->program" || text == "both" || text == "—";
}

bool IsSeparatorRow(const std::vector<std::string>& cells)
{
    for (const std::string& cell : cells) {
        if (cell.empty() || cell.find_first_not_of("-:") != std::string::npos) {
            return false;
        }
    }
    return !cells.empty();
}

// Reads the table between the two markers: a header row "id | code | length | direction |
// meaning", a separator row, then one row per table id. Any line it cannot read is an error.
DocTable ParseMessageTable(std::string_view document)
{
    DocTable table;
    std::istringstream in{std::string(document)};
    std::string text;
    int lineNumber = 0;
    bool inside = false;
    bool ended = false;
    int tableLines = 0; // header and separator included
    int beginLine = 0;
    const auto fail = [&](const std::string& why) {
        table.rows.clear();
        table.error = "line " + std::to_string(lineNumber) + ": " + why + ": '" + text + "'";
        return table;
    };
    while (std::getline(in, text)) {
        ++lineNumber;
        const std::string_view line = Trim(text);
        if (!inside) {
            if (line == kTableBegin) {
                inside = true;
                beginLine = lineNumber;
            }
            continue;
        }
        if (line == kTableEnd) {
            ended = true;
            break;
        }
        if (line.empty()) {
            if (tableLines == 0) {
                continue;
            }
            return fail("the message table ends at a blank line, not at the line '" + std::string(kTableEnd) +
                        "'");
        }
        const std::vector<std::string> cells = Cells(line);
        if (cells.size() != 5) {
            return fail("not a table row of 5 cells (id | code | length | direction | meaning)");
        }
        ++tableLines;
        if (tableLines == 1) {
            if (cells[0] != "id" || cells[1] != "code" || cells[2] != "length" || cells[3] != "direction" ||
                cells[4] != "meaning") {
                return fail("the header must be | id | code | length | direction | meaning |");
            }
            continue;
        }
        if (tableLines == 2) {
            if (!IsSeparatorRow(cells)) {
                return fail("the header must be followed by a separator row");
            }
            continue;
        }
        DocRow row;
        row.line = lineNumber;
        if (!ParseDecimal(cells[0], row.id)) {
            return fail("the id is not a decimal number");
        }
        if (!ParseCode(cells[1], row.classByte, row.commandByte)) {
            return fail("the code is not two hex bytes such as `04 05`");
        }
        if (!ParseDecimal(cells[2], row.length)) {
            return fail("the length is not a decimal number");
        }
        if (!IsDirection(cells[3])) {
            return fail("the direction is none of program->radio, radio->program, both, —");
        }
        if (cells[4].empty()) {
            return fail("the meaning is empty");
        }
        table.rows.push_back(row);
    }
    if (!inside) {
        table.error = "no line '" + std::string(kTableBegin) + "': the message table is not found";
    } else if (!ended) {
        table.error = "the message table that begins at line " + std::to_string(beginLine) +
                      " has no line '" + std::string(kTableEnd) + "'";
    } else if (table.rows.empty()) {
        table.error = "the message table that begins at line " + std::to_string(beginLine) + " has no rows";
    }
    if (!table.error.empty()) {
        table.rows.clear();
    }
    return table;
}

std::string Describe(int id, std::uint8_t classByte, std::uint8_t commandByte, int length)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "id " + std::to_string(id) + ", code ";
    text += kHex[classByte >> 4];
    text += kHex[classByte & 0x0F];
    text += ' ';
    text += kHex[commandByte >> 4];
    text += kHex[commandByte & 0x0F];
    return text + ", length " + std::to_string(length);
}

// Every way the document's rows and the code's table differ; empty when they are the same set
// and no row of the document repeats an id.
std::vector<std::string> Differences(const std::vector<DocRow>& rows, std::span<const LinkMessage> code)
{
    std::vector<std::string> found;
    std::map<int, int> lineOfId;
    for (const DocRow& row : rows) {
        const auto [it, added] = lineOfId.emplace(row.id, row.line);
        if (!added) {
            found.push_back("line " + std::to_string(row.line) + ": id " + std::to_string(row.id) +
                            " is listed again (first at line " + std::to_string(it->second) + ")");
        }
    }
    std::set<std::tuple<int, std::uint8_t, std::uint8_t, int>> docKeys;
    for (const DocRow& row : rows) {
        docKeys.insert(row.Key());
    }
    std::set<std::tuple<int, std::uint8_t, std::uint8_t, int>> codeKeys;
    for (const LinkMessage& m : code) {
        const auto key = std::tuple(m.id, m.classByte, m.commandByte, m.payloadLength);
        codeKeys.insert(key);
        if (!docKeys.contains(key)) {
            found.push_back("the code's row " + Describe(m.id, m.classByte, m.commandByte, m.payloadLength) +
                            " is not in the document");
        }
    }
    for (const DocRow& row : rows) {
        if (!codeKeys.contains(row.Key())) {
            found.push_back("line " + std::to_string(row.line) + ": the row " +
                            Describe(row.id, row.classByte, row.commandByte, row.length) +
                            " is not in the code's table");
        }
    }
    return found;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += "\n  " + line;
    }
    return text;
}

std::string TableText(const std::string& rows)
{
    return "# Doc\n\n<!-- message-table:begin -->\n"
           "| id | code | length | direction | meaning |\n"
           "| --- | --- | --- | --- | --- |\n" +
           rows + "<!-- message-table:end -->\n\nafter\n";
}

TEST(ProtocolDoc, MessageTableListsExactlyTheCodesTable)
{
    const std::string path = AUREX_PROTOCOL_DOC;
    std::ifstream file(path);
    ASSERT_TRUE(file) << "cannot open " << path;
    std::ostringstream content;
    content << file.rdbuf();

    const DocTable table = ParseMessageTable(content.str());
    ASSERT_TRUE(table.error.empty()) << path << ": " << table.error;

    const std::vector<std::string> differences = Differences(table.rows, LinkMessageTable());
    EXPECT_TRUE(differences.empty()) << path
                                     << " and src/link/message_table.cpp differ:" << Joined(differences);
}

TEST(ProtocolDoc, ReadingTheTableFailsLoudlyOnWhatItCannotRead)
{
    const DocTable good = ParseMessageTable(TableText("| 25 | `04 05` | 8 | radio->program | identity |\n"
                                                      "| 2 | 00 00 | 128 | — | no code |\n"));
    ASSERT_TRUE(good.error.empty()) << good.error;
    ASSERT_EQ(good.rows.size(), 2U);
    EXPECT_EQ(good.rows[0].Key(), std::tuple(25, std::uint8_t{0x04}, std::uint8_t{0x05}, 8));
    EXPECT_EQ(good.rows[0].line, 6);
    EXPECT_EQ(good.rows[1].Key(), std::tuple(2, std::uint8_t{0x00}, std::uint8_t{0x00}, 128));

    struct Case
    {
        std::string text;
        std::string expected; // part of the error
    };
    const Case cases[] = {
        {"# Doc\n| 1 | `02 00` | 0 | both | x |\n", "message table is not found"},
        {"<!-- message-table:begin -->\n| id | code | length | direction | meaning |\n| --- | --- | --- | "
         "--- | --- |\n"
         "| 1 | `02 00` | 0 | both | x |\n",
         "has no line '<!-- message-table:end -->'"},
        {TableText(""), "has no rows"},
        {TableText("| 1 | `02 0` | 0 | both | x |\n"), "the code is not two hex bytes"},
        {TableText("| 1 | `02 0G` | 0 | both | x |\n"), "the code is not two hex bytes"},
        {TableText("| x1 | `02 00` | 0 | both | x |\n"), "the id is not a decimal number"},
        {TableText("| 1 | `02 00` | eight | both | x |\n"), "the length is not a decimal number"},
        {TableText("| 1 | `02 00` | 0 | sideways | x |\n"), "the direction is none of"},
        {TableText("| 1 | `02 00` | 0 | both |\n"), "not a table row of 5 cells"},
        {TableText("| 1 | `02 00` | 0 | both | x |\n\n| 2 | `02 02` | 2 | both | y |\n"),
         "ends at a blank line"},
        {"<!-- message-table:begin -->\n| id | code | size | direction | meaning |\n| - | - | - | - | - |\n"
         "<!-- message-table:end -->\n",
         "the header must be"},
    };
    for (const Case& c : cases) {
        const DocTable table = ParseMessageTable(c.text);
        EXPECT_TRUE(table.rows.empty()) << c.text;
        EXPECT_NE(table.error.find(c.expected), std::string::npos) << "error '" << table.error << "' for:\n"
                                                                   << c.text;
    }
}

TEST(ProtocolDoc, ComparisonNamesEveryRowThatDiffers)
{
    const LinkMessage code[] = {{3, 0x02, 0x02, 2}, {25, 0x04, 0x05, 8}, {42, 0x09, 0x00, 0}};
    const auto rowsOf = [](const std::string& rows) { return ParseMessageTable(TableText(rows)).rows; };

    EXPECT_TRUE(Differences(rowsOf("| 42 | `09 00` | 0 | program->radio | baud |\n"
                                   "| 3 | `02 02` | 2 | radio->program | sum |\n"
                                   "| 25 | `04 05` | 8 | radio->program | identity |\n"),
                            code)
                    .empty());

    // One length changed: the document's row and the code's row are both named.
    const std::vector<std::string> length =
        Differences(rowsOf("| 3 | `02 02` | 2 | radio->program | sum |\n"
                           "| 25 | `04 05` | 9 | radio->program | identity |\n"
                           "| 42 | `09 00` | 0 | program->radio | baud |\n"),
                    code);
    ASSERT_EQ(length.size(), 2U) << Joined(length);
    EXPECT_NE(length[0].find("id 25, code 04 05, length 8 is not in the document"), std::string::npos)
        << length[0];
    EXPECT_NE(length[1].find("line 7: the row id 25, code 04 05, length 9 is not in the code's table"),
              std::string::npos)
        << length[1];

    // A missing row, a row the code lacks, and an id listed twice.
    const std::vector<std::string> other =
        Differences(rowsOf("| 3 | `02 02` | 2 | radio->program | sum |\n"
                           "| 3 | `02 02` | 2 | radio->program | sum |\n"
                           "| 42 | `09 01` | 0 | program->radio | baud |\n"),
                    code);
    ASSERT_EQ(other.size(), 4U) << Joined(other);
    EXPECT_NE(other[0].find("id 3 is listed again (first at line 6)"), std::string::npos) << other[0];
    EXPECT_NE(other[1].find("id 25, code 04 05, length 8 is not in the document"), std::string::npos)
        << other[1];
    EXPECT_NE(other[2].find("id 42, code 09 00, length 0 is not in the document"), std::string::npos)
        << other[2];
    EXPECT_NE(other[3].find("id 42, code 09 01, length 0 is not in the code's table"), std::string::npos)
        << other[3];
}

} // namespace
} // namespace aurex
