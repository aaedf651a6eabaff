#include "model/RunTable.h"

#include <gtest/gtest.h>

namespace strivo {
namespace {

RunRow Row(int n) {
    const std::string p = std::to_string(n) + ":";
    return {p + "0", p + "1", p + "2", p + "3", p + "4", p + "5", p + "6"};
}

TEST(RunTable, KeepsInsertionOrderAndReadsEmptyOutsideItsRows) {
    RunTable table;
    table.Append({Row(1)});
    table.Append({Row(2), Row(3)});
    EXPECT_EQ(table.Snapshot(), (std::vector<RunRow>{Row(1), Row(2), Row(3)}));
    EXPECT_EQ(table.Cell(1, kColumnRunId), "2:6");
    EXPECT_EQ(table.Cell(3, 0), "");
    EXPECT_EQ(table.Cell(0, kRunColumnCount), "");
    table.Replace({Row(9)});
    EXPECT_EQ(table.Snapshot(), std::vector<RunRow>{Row(9)});
}

TEST(RunTable, RowsTooLongToHoldInsideKeepEveryCellThroughCopies) {
    const std::string longCell(300, 'x');
    RunRow row = {"1", longCell, "", longCell + "y"};
    RunTable table;
    table.Append({row, std::move(row), Row(2)});
    const RunRow copied = table.Snapshot()[1];
    EXPECT_EQ(std::string(copied[kColumnDistance]) + "|" + std::string(copied[kColumnDuration]),
              "|" + longCell + "y");
    EXPECT_EQ(table.Cell(0, kColumnStartTime), longCell);
    EXPECT_EQ(RunRow(row)[kColumnDuration], "");  // moved from: empty, not read past its end
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

}  // namespace
}  // namespace strivo
