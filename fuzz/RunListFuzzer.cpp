// The run list and the account data as the run service might answer them:
// any body, whole or cut off anywhere.
#include <algorithm>

#include "FuzzSupport.h"
#include "io/RunText.h"
#include "model/RunTable.h"
#include "runservice/RunList.h"

namespace {

using strivo::fuzz::Printable;

std::size_t Occurrences(std::string_view text, std::string_view marker) {
    std::size_t count = 0;
    for (std::size_t pos = text.find(marker); pos != std::string_view::npos;
         pos = text.find(marker, pos + marker.size())) {
        ++count;
    }
    return count;
}

// "<h>小时<m>分<s>秒" with optionally negative decimal numbers.
bool IsDuration(std::string_view cell) {
    constexpr std::string_view units[] = {"\xD0\xA1\xCA\xB1", "\xB7\xD6", "\xC3\xEB"};
    for (const std::string_view unit : units) {
        std::size_t pos = cell.substr(0, 1) == "-" ? 1 : 0;
        const std::size_t digitsBegin = pos;
        while (pos < cell.size() && cell[pos] >= '0' && cell[pos] <= '9') {
            ++pos;
        }
        if (pos == digitsBegin || cell.substr(pos, unit.size()) != unit) {
            return false;
        }
        cell.remove_prefix(pos + unit.size());
    }
    return cell.empty();
}

void CheckRows(std::string_view body, const strivo::RunList& rows) {
    const auto context = [&] {
        return "rows=" + std::to_string(rows.size()) + " body=" + Printable(body, 400);
    };
    FUZZ_CHECK(rows.size() <= Occurrences(body, "run id="), context());
    FUZZ_CHECK(rows.size() <= Occurrences(body, "</run>"), context());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const strivo::RunCells row = strivo::CellsOf(rows[i], i + 1);
        const auto rowContext = [&] {
            return context() + " row " + std::to_string(i + 1) + ": " +
                   Printable(row[strivo::kColumnSequence]) + " | " +
                   Printable(row[strivo::kColumnStartTime]) + " | " +
                   Printable(row[strivo::kColumnDuration]) + " | " +
                   Printable(row[strivo::kColumnSyncTime]);
        };
        FUZZ_CHECK(row[strivo::kColumnSequence] == std::to_string(i + 1), rowContext());
        FUZZ_CHECK(IsDuration(row[strivo::kColumnDuration]), rowContext());
        for (const auto column : {strivo::kColumnStartTime, strivo::kColumnSyncTime}) {
            FUZZ_CHECK(row[column].find_first_of("T+") == std::string::npos, rowContext());
        }
        // A field never reaches past the end of its run.
        for (const auto column :
             {strivo::kColumnDistance, strivo::kColumnCalories, strivo::kColumnRunId}) {
            FUZZ_CHECK(row[column].find("</run>") == std::string::npos &&
                           body.find(row[column]) != std::string_view::npos,
                       rowContext());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body = strivo::fuzz::AsText(data, size);

    const strivo::RunList rows = strivo::ParseRunList(body);
    CheckRows(body, rows);

    strivo::RunTable table;
    strivo::FillRunTable(table, body);
    FUZZ_CHECK(table.Snapshot() == rows, "table differs from the parsed rows");

    // An answer cut off anywhere shows the complete runs before the cut, the
    // same as the whole answer shows them, and nothing more.
    const std::size_t cut = size == 0 ? 0 : data[0] * size / 256;
    const strivo::RunList cutRows = strivo::ParseRunList(body.substr(0, cut));
    FUZZ_CHECK(
        cutRows.size() <= rows.size() && std::equal(cutRows.begin(), cutRows.end(), rows.begin()),
        "cut at " + std::to_string(cut) + " of " + Printable(body, 400));

    const std::string summary = strivo::BuildSummary(body);
    FUZZ_CHECK(summary.size() <= strivo::kSummaryMaxBytes, Printable(summary));
    return 0;
}
