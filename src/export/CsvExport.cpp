#include "export/CsvExport.h"

#include <sstream>
#include <string_view>

#include "io/RunText.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::size_t kExportedColumns = kColumnSyncTime + 1;

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "-12", "+3.5": a number a spreadsheet reads as one.
bool IsPlainNumber(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    const std::size_t dot = text.find('.');
    return IsDigits(text.substr(0, dot)) &&
           (dot == std::string_view::npos || IsDigits(text.substr(dot + 1)));
}

// "-1小时-2分-3秒", as a negative number of milliseconds is shown.
bool IsDuration(std::string_view text) {
    for (const std::string_view unit : {kHours, kMinutes, kSeconds}) {
        const std::size_t at = text.find(unit);
        if (at == std::string_view::npos || !IsPlainNumber(text.substr(0, at))) {
            return false;
        }
        text.remove_prefix(at + unit.size());
    }
    return text.empty();
}

// A spreadsheet runs a cell that starts like a formula; an apostrophe in
// front makes it text. Numbers and durations stay as they are.
bool LooksLikeAFormula(std::string_view cell) {
    return !cell.empty() &&
           std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos &&
           !IsPlainNumber(cell) && !IsDuration(cell);
}

void WriteCell(std::ostream& out, std::string_view cell) {
    const char* const formula = LooksLikeAFormula(cell) ? "'" : "";
    if (cell.find_first_of(",\"\r\n") == std::string_view::npos) {
        out << formula << cell;
        return;
    }
    out << '"' << formula;
    for (const char c : cell) {
        if (c == '"') {
            out << '"';
        }
        out << c;
    }
    out << '"';
}

}  // namespace

void WriteCsv(std::ostream& out, const RunList& runs) {
    std::size_t number = 0;
    for (const Run& run : runs) {
        ++number;
        for (std::size_t column = 0; column < kExportedColumns; ++column) {
            if (column > 0) {
                out << ',';
            }
            WriteCell(out, RunCell(run, number, column));
        }
        out << "\r\n";
    }
}

Outcome ExportCsv(const std::filesystem::path& path, const RunList& runs) {
    std::ostringstream content;
    WriteCsv(content, runs);
    return ExportDocument(path, content.str());
}

Outcome ExportDocument(const std::filesystem::path& path, std::string_view content) {
    // Like any new document: readable and writable by all, less the umask.
    using std::filesystem::perms;
    return WriteFileAtomically(path, content,
                               perms::owner_read | perms::owner_write | perms::group_read |
                                   perms::group_write | perms::others_read | perms::others_write);
}

}  // namespace strivo
