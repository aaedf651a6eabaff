#include "io/RunText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "io/TimeText.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

std::string StartCell(const Run& run) {
    if (run.FromService()) {
        return TrimTimestamp(run.sent().startTime);
    }
    const Run::Values values = run.values();
    return values.startUtcMs ? WallTimeText(*values.startUtcMs, values.offsetMinutes.value_or(0))
                             : std::string();
}

// A run read from a file: its values as the table writes them, or nothing.
std::string MadeDistance(const Run& run) {
    const std::optional<double> metres = run.values().metres;
    return metres ? KilometreText(*metres) : std::string();
}
std::string MadeCalories(const Run& run) {
    const std::optional<std::int64_t> kcal = run.values().kcal;
    return kcal ? std::to_string(*kcal) : std::string();
}

}  // namespace

Run ServiceRun(std::string_view runId, const Run::Sent& sent) {
    const TypedTime start = ParseServiceTime(sent.startTime);
    const std::optional<double> km = ParseDecimal(sent.distance);
    return Run(runId, sent,
               {start.utcMs, start.offsetMinutes, km ? std::optional(*km * 1000.0) : std::nullopt,
                ReadMilliseconds(sent.duration), ParseInteger(sent.calories)});
}

std::string ImportedRunKey(std::int64_t startUtcSeconds, double distanceMetres) {
    return "file-" + CompactUtcText(startUtcSeconds * 1000) + "-" +
           std::to_string(std::llround(std::clamp(distanceMetres, 0.0, 1e12)));
}

std::string KilometreText(double metres) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", metres / 1000.0);
    return text;
}

std::string RunCell(const Run& run, std::size_t number, std::size_t column) {
    const bool sent = run.FromService();
    switch (column) {
        case kColumnSequence:
            return std::to_string(number);
        case kColumnStartTime:
            return StartCell(run);
        case kColumnDistance:
            return sent ? std::string(run.sent().distance) : MadeDistance(run);
        case kColumnDuration:
            return FormatDuration(run.durationMs());
        case kColumnCalories:
            return sent ? std::string(run.sent().calories) : MadeCalories(run);
        case kColumnSyncTime:
            return sent ? TrimTimestamp(run.sent().syncTime) : std::string();
        case kColumnRunId:
            return std::string(run.id());
        default:
            return {};
    }
}

RunCells CellsOf(const Run& run, std::size_t number) {
    RunCells cells;
    for (std::size_t column = 0; column < kRunColumnCount; ++column) {
        cells[column] = RunCell(run, number, column);
    }
    return cells;
}

StoredTexts TextsOf(const StoredRun& run) {
    if (run.source.empty()) {
        return {run.startTime, run.distance, run.duration, run.calories};
    }
    StoredTexts made;
    if (run.startUtcMs) {
        made.startTime = OffsetTimeText(*run.startUtcMs, run.startOffsetMinutes.value_or(0));
    }
    if (run.distanceMetres) {
        made.distance = KilometreText(*run.distanceMetres);
    }
    made.duration = run.durationMs ? std::to_string(*run.durationMs) : std::string();
    made.calories = run.calorieCount ? std::to_string(*run.calorieCount) : std::string();
    return made;
}

}  // namespace strivo
