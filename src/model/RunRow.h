#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>

namespace strivo {

// The columns of a run row, in display order.
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

// One run: seven CP936 texts, and the number of milliseconds the duration
// cell was made from (the run log takes hours, minutes and seconds from it).
// The texts lie end to end inside the row, where a run's texts fit, else in
// one block of their own: a table of 100,000 rows makes no allocation per row.
class RunRow {
public:
    RunRow() = default;
    // The cells in column order; those left out are empty.
    RunRow(std::initializer_list<std::string_view> cells, std::int64_t durationMs = 0);
    RunRow(std::span<const std::string_view, kRunColumnCount> cells, std::int64_t durationMs);
    RunRow(const RunRow& other);
    RunRow& operator=(const RunRow& other);
    RunRow(RunRow&& other) noexcept;
    RunRow& operator=(RunRow&& other) noexcept;
    ~RunRow() = default;

    std::string_view operator[](std::size_t column) const;
    bool operator==(const RunRow& other) const;

    std::int64_t durationMs = 0;

private:
    void SetCells(std::span<const std::string_view> cells);
    void CopyText(const RunRow& other);
    const char* Text() const { return m_large ? m_large.get() : m_small; }
    std::size_t TextSize() const { return m_ends.back(); }

    std::array<std::uint32_t, kRunColumnCount> m_ends{};  // where each cell's text ends
    std::unique_ptr<char[]> m_large;                      // the texts, when m_small is too small
    char m_small[80];                                     // a row of 128 bytes in all
};
static_assert(sizeof(RunRow) <= 128, "a run list of 100,000 rows stays within its memory");

}  // namespace strivo
