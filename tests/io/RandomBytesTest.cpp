#include "io/RandomBytes.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace strivo {
namespace {

// Sizes inside one system call, past getrandom's 256-byte promise, and past
// the pieces a big request is cut into, each filled to its last byte.
TEST(RandomBytes, FillsEveryByteOfEverySize) {
    for (std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{32}, std::size_t{257},
                              std::size_t{1} << 20}) {
        const Result<std::string> bytes = RandomBytes(count);
        ASSERT_TRUE(bytes) << bytes.problem().detail;
        ASSERT_EQ(bytes->size(), count);
        if (count < 1024) {
            continue;
        }
        // A MiB of uniform bytes holds each value about 4096 times; a buffer
        // left partly unfilled shows up as far too many zeros.
        std::array<std::size_t, 256> seen{};
        for (char byte : *bytes) {
            ++seen[static_cast<unsigned char>(byte)];
        }
        for (std::size_t value = 0; value < seen.size(); ++value) {
            EXPECT_GT(seen[value], 3500u) << value;
            EXPECT_LT(seen[value], 4700u) << value;
        }
    }
}

TEST(RandomBytes, TwoKeysDiffer) {
    const Result<std::string> first = RandomBytes(32);
    const Result<std::string> second = RandomBytes(32);
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
}

}  // namespace
}  // namespace strivo
