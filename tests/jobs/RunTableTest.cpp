#include "jobs/RunTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace strivo {
namespace {

RunRow Row(int n) {
    RunRow row;
    for (std::size_t c = 0; c < kRunColumnCount; ++c) {
        row[c] = std::to_string(n) + ":" + std::to_string(c);
    }
    return row;
}

TEST(RunTable, CellsOutsideTheTableReadEmpty) {
    RunTable table;
    table.Append({Row(1), Row(2)});
    EXPECT_EQ(table.Cell(1, kColumnRunId), "2:6");
    EXPECT_EQ(table.Cell(2, 0), "");
    EXPECT_EQ(table.Cell(0, kRunColumnCount), "");
    table.Clear();
    EXPECT_EQ(table.Cell(0, 0), "");
}

TEST(RunTable, AppendKeepsInsertionOrderAndReplaceStartsOver) {
    RunTable table;
    table.Append({Row(1)});
    table.Append({Row(2), Row(3)});
    ASSERT_EQ(table.RowCount(), 3u);
    EXPECT_EQ(table.Snapshot()[2], Row(3));
    table.Replace({Row(9)});
    EXPECT_EQ(table.Snapshot(), std::vector<RunRow>{Row(9)});
}

TEST(RunTable, ListenerMayReadTheTableItWasCalledFor) {
    RunTable table;
    std::vector<std::size_t> counts;
    const int id = table.AddListener([&](std::size_t rowCount) {
        counts.push_back(rowCount);
        EXPECT_EQ(table.RowCount(), rowCount);  // would deadlock if a lock were held
    });
    table.Append({Row(1), Row(2)});
    table.Clear();
    table.RemoveListener(id);
    table.Append({Row(3)});
    EXPECT_EQ(counts, (std::vector<std::size_t>{2, 0}));
}

TEST(RunTable, ReadersSeeWholeRowsWhileAnotherThreadRefills) {
    RunTable table;
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        for (int round = 0; round < 200; ++round) {
            std::vector<RunRow> rows;
            for (int i = 0; i < 50; ++i) {
                rows.push_back(Row(round));
            }
            table.Replace(std::move(rows));
        }
        stop = true;
    });
    while (!stop) {
        for (const RunRow& row : table.Snapshot()) {
            const std::string prefix = row[0].substr(0, row[0].find(':'));
            ASSERT_EQ(row[kColumnRunId], prefix + ":6");
        }
        const std::size_t count = table.RowCount();
        ASSERT_TRUE(count == 0 || count == 50);
    }
    writer.join();
}

}  // namespace
}  // namespace strivo
