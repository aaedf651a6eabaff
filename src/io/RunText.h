#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/Run.h"
#include "model/Runs.h"

// The texts a run is shown in (CP936): the table's cells, the CSV's, the
// run-log form's and a line of `strivo-cli runs`. A run of the service shows
// what it sent; a run read from a file, texts made from its values here.
namespace strivo {

// The columns of the run table, in display order.
enum RunColumn : std::size_t {
    kColumnSequence = 0,  // 序号: 1, 2, 3 ...
    kColumnStartTime,     // 跑步时间: YYYY-MM-DD hh:mm:ss
    kColumnDistance,      // 距离(KM)
    kColumnDuration,      // 耗时: <h>小时<m>分<s>秒
    kColumnCalories,      // 卡路里
    kColumnSyncTime,      // 上传时间
    kColumnRunId,         // RunID
    kRunColumnCount
};

// The column titles of the window's list and the terminal table, in UTF-8.
inline constexpr std::array<const char*, kRunColumnCount> kRunColumnTitles = {
    "序号", "跑步时间", "距离(KM)", "耗时", "卡路里", "上传时间", "RunID"};

// A run of the run service, its values read from the texts it sent: the
// start with its offset, kilometres, milliseconds (as the table shows them
// from any text, ReadMilliseconds) and calories.
Run ServiceRun(std::string_view runId, const Run::Sent& sent);

// The key of a run read from a file, in place of a RunID: its UTC start
// second and its distance in whole metres ("file-20100307T224838Z-5032").
// Never sent to the site as a RunID.
std::string ImportedRunKey(std::int64_t startUtcSeconds, double distanceMetres);

// The cell of `run` in `column`; `number` is its 序号.
std::string RunCell(const Run& run, std::size_t number, std::size_t column);
using RunCells = std::array<std::string, kRunColumnCount>;
RunCells CellsOf(const Run& run, std::size_t number);

// "5.0321": metres as kilometres, to a tenth of a metre, as a run read from
// a file shows its distance (and counts it).
std::string KilometreText(double metres);

// A stored run's texts in the service's own forms ("2010-03-07T22:48:38+01:00",
// "5.0321", "1834000", "321"): as sent, or for a run read from a file, made
// from its values; for the lines, files and warnings that name them.
struct StoredTexts {
    std::string startTime, distance, duration, calories;
};
StoredTexts TextsOf(const StoredRun& run);

}  // namespace strivo
