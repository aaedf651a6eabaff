#include "model/ProblemWords.h"
#include "net/TransferLimits.h"

#include <gtest/gtest.h>

namespace strivo {
namespace {

using namespace std::chrono_literals;

// A server may think for most of the stall limit before it answers; only the
// rate of its answer counts against it.
TEST(TransferLimits, TheRateIsTheAnswersNotTheWaitBeforeIt) {
    const WebSessionConfig config;  // 60 s stall limit, 1024 B/s over 60 s
    const TransferLimits::Clock::time_point start{};
    const auto feed = [&](TransferLimits& limits, std::uint64_t bytesPerSecond) {
        limits.AnswerStarted(start + 50s);
        for (int second = 50; second <= 120; ++second) {
            limits.Moved(static_cast<std::uint64_t>(second - 50) * bytesPerSecond,
                         start + std::chrono::seconds(second));
            if (limits.Exceeded(start + std::chrono::seconds(second))) {
                return second;
            }
        }
        return 0;
    };
    TransferLimits steady(config, 15min, start);
    EXPECT_EQ(feed(steady, 2048), 0) << DescribeIn(nullptr, steady.Why());
    TransferLimits drip(config, 15min, start);
    EXPECT_EQ(feed(drip, 100), 110);
    EXPECT_EQ(DescribeIn(nullptr, drip.Why()), "time-out (fewer than 61440 bytes in 60 s)");
}

}  // namespace
}  // namespace strivo
