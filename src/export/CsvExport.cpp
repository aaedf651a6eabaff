#include "export/CsvExport.h"

#include <sstream>

namespace strivo {
namespace {

constexpr std::size_t kExportedColumns = kColumnSyncTime + 1;

void WriteCell(std::ostream& out, std::string_view cell) {
    if (cell.find_first_of(",\"\r\n") == std::string_view::npos) {
        out << cell;
        return;
    }
    out << '"';
    for (const char c : cell) {
        if (c == '"') {
            out << '"';
        }
        out << c;
    }
    out << '"';
}

}  // namespace

void WriteCsv(std::ostream& out, const RunRows& rows) {
    for (const RunRow& row : rows) {
        for (std::size_t column = 0; column < kExportedColumns; ++column) {
            if (column > 0) {
                out << ',';
            }
            WriteCell(out, row[column]);
        }
        out << "\r\n";
    }
}

FileResult ExportCsv(const std::filesystem::path& path, const RunRows& rows) {
    std::ostringstream content;
    WriteCsv(content, rows);
    using std::filesystem::perms;
    return WriteFileAtomically(
        path, content.str(),
        perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
}

}  // namespace strivo
