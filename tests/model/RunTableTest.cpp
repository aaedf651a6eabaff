#include "model/RunTable.h"

#include <gtest/gtest.h>

#include "../support/SentRuns.h"

namespace strivo {
namespace {

strivo::Run Row(int n) {
    const std::string p = std::to_string(n) + ":";
    return TableRun(p + "6", p + "1", p + "2", "3", p + "4", p + "5");
}

TEST(RunTable, KeepsInsertionOrderAndReadsEmptyOutsideItsRows) {
    RunTable table;
    table.Append({Row(1)});
    table.Append({Row(2), Row(3)});
    EXPECT_EQ(table.Snapshot(), (std::vector<strivo::Run>{Row(1), Row(2), Row(3)}));
    EXPECT_EQ(table.RunAt(1)->id(), "2:6");
    EXPECT_FALSE(table.RunAt(3));
    table.Replace({Row(9)});
    EXPECT_EQ(table.Snapshot(), std::vector<strivo::Run>{Row(9)});
}

TEST(RunTable, RunsTooLongToHoldInsideKeepEveryTextThroughCopies) {
    const std::string longText(300, 'x');
    strivo::Run run = TableRun("1", longText, "", "", longText + "y");
    RunTable table;
    table.Append({run, std::move(run), Row(2)});
    const strivo::Run copied = table.Snapshot()[1];
    EXPECT_EQ(std::string(copied.sent().distance) + "|" + std::string(copied.sent().calories),
              "|" + longText + "y");
    EXPECT_EQ(table.RunAt(0)->sent().startTime, longText);
    EXPECT_EQ(strivo::Run(run).sent().calories, "");  // moved from: empty, not read past its end
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
