#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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
struct RunRow {
    std::array<std::string, kRunColumnCount> cells;
    std::int32_t durationMs = 0;

    std::string& operator[](std::size_t column) { return cells[column]; }
    const std::string& operator[](std::size_t column) const { return cells[column]; }
    bool operator==(const RunRow&) const = default;
};

// The run table shared by the run-service worker (fills it), the site worker
// (reads it), the window's list, the export and the CLI. Every operation is
// thread-safe and short; none waits for the window. After a change, listeners
// are called on the changing thread with no lock held, so a listener may read
// the table (the window only queues an event).
class RunTable {
public:
    using Listener = std::function<void(std::size_t rowCount)>;

    void Clear();
    void Append(std::vector<RunRow> rows);
    void Replace(std::vector<RunRow> rows);

    std::size_t RowCount() const;
    // The cell's text; empty when the row or column does not exist (any more).
    std::string Cell(std::size_t row, std::size_t column) const;
    std::vector<RunRow> Snapshot() const;

    // Returns an id for RemoveListener. A listener removed while another thread
    // changes the table may still be called once by that change.
    int AddListener(Listener listener);
    void RemoveListener(int id);

private:
    void Notify(std::size_t rowCount);

    mutable std::mutex m_mutex;
    std::vector<RunRow> m_rows;

    std::mutex m_listenersMutex;
    int m_nextListenerId = 1;
    std::vector<std::pair<int, std::shared_ptr<const Listener>>> m_listeners;
};

}  // namespace strivo
