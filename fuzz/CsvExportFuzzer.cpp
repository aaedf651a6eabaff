// WriteCsv on any cells: what it writes must read back, with a strict
// RFC 4180 reader, as the same six cells per row. Input: the cells, separated
// by NUL bytes, seven to a row (the last row filled up with empty cells).
#include <algorithm>
#include <array>
#include <optional>
#include <sstream>

#include "FuzzSupport.h"
#include "export/CsvExport.h"
#include "io/RunText.h"

namespace {

using strivo::fuzz::Printable;
using Record = std::vector<std::string>;

// Records end with CR LF; a field is either quoted (quotes doubled inside) or
// holds no comma, quote, CR or LF. Nothing else is accepted.
std::optional<std::vector<Record>> ReadCsv(std::string_view text) {
    std::vector<Record> records;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Record record;
        for (;;) {
            std::string field;
            if (pos < text.size() && text[pos] == '"') {
                ++pos;
                for (;;) {
                    if (pos >= text.size()) {
                        return std::nullopt;  // unterminated quote
                    }
                    if (text[pos] == '"') {
                        if (pos + 1 < text.size() && text[pos + 1] == '"') {
                            field.push_back('"');
                            pos += 2;
                            continue;
                        }
                        ++pos;
                        break;
                    }
                    field.push_back(text[pos++]);
                }
            } else {
                while (pos < text.size() && text[pos] != ',' && text[pos] != '\r') {
                    if (text[pos] == '"' || text[pos] == '\n') {
                        return std::nullopt;
                    }
                    field.push_back(text[pos++]);
                }
            }
            record.push_back(std::move(field));
            if (pos < text.size() && text[pos] == ',') {
                ++pos;
                continue;
            }
            if (text.substr(pos, 2) != "\r\n") {
                return std::nullopt;
            }
            pos += 2;
            break;
        }
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<strivo::Run> rows;
    std::string_view rest = strivo::fuzz::AsText(data, size);
    while (!rest.empty()) {
        // Seven zero-separated cells make a row; those the input lacks stay empty.
        std::array<std::string_view, strivo::kRunColumnCount> cells{};
        for (std::size_t cell = 0; cell < cells.size() && !rest.empty(); ++cell) {
            const std::size_t end = std::min(rest.find('\0'), rest.size());
            cells[cell] = rest.substr(0, end);
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        rows.push_back(strivo::ServiceRun(cells[strivo::kColumnRunId],
                                          {cells[1], cells[2], cells[3], cells[4], cells[5]}));
    }

    std::ostringstream out;
    strivo::WriteCsv(out, rows);
    const std::string csv = out.str();
    const auto context = [&] { return "csv=" + Printable(csv, 600); };

    const auto records = ReadCsv(csv);
    FUZZ_CHECK(records.has_value(), context());
    FUZZ_CHECK(records->size() == rows.size(), context());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Record& record = (*records)[i];
        const strivo::RunCells cells = strivo::CellsOf(rows[i], i + 1);
        FUZZ_CHECK(record.size() == strivo::kColumnSyncTime + 1, context());
        for (std::size_t column = 0; column < record.size(); ++column) {
            // A cell that a spreadsheet would run as a formula comes back after an apostrophe.
            const std::string_view cell = cells[column];
            const bool formula =
                !cell.empty() &&
                std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos &&
                record[column] == "'" + std::string(cell);
            FUZZ_CHECK(record[column] == cell || formula, context() + " row " + std::to_string(i) +
                                                              " column " + std::to_string(column) +
                                                              " cell=" + Printable(cell));
        }
    }
    return 0;
}
