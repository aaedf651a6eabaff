#include "site/RunLogForm.h"

#include <gtest/gtest.h>

namespace strivo {
namespace {

TEST(BuildRunLogBody, DurationFieldsComeFromTheMilliseconds) {
    const struct {
        std::int32_t milliseconds;
        const char* fields;
    } cases[] = {
        {3605000, "&tchour=1&tcminute=0&tcsecond=5&"},
        {90000000, "&tchour=25&tcminute=0&tcsecond=0&"},
        {-61000, "&tchour=0&tcminute=-1&tcsecond=-1&"},
    };
    for (const auto& c : cases) {
        RunRow row;
        row.durationMs = c.milliseconds;
        EXPECT_NE(BuildRunLogBody("t", row, "d").find(c.fields), std::string::npos)
            << c.milliseconds;
    }
}

}  // namespace
}  // namespace strivo
