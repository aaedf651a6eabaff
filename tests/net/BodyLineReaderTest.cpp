#include "net/BodyLineReader.h"

#include <gtest/gtest.h>

#include <string>

namespace strivo {
namespace {

using namespace std::string_literals;

TEST(BodyLineReader, AppliesTheLineRulesWhateverPiecesTheBytesArriveIn) {
    const std::string x4093(4093, 'x');
    const std::string x4094(4094, 'x');
    const std::string x10000(10000, 'x');
    const struct {
        const char* name;
        std::string body, expected;
    } cases[] = {
        {"line ends become CR LF", "a\r\nb\nc", "a\r\nb\r\nc"},
        {"a lone CR is dropped", "a\rb\r", "ab"},
        {"empty lines", "\n\r\n", "\r\n\r\n"},
        {"a long line arrives whole", x10000 + "\n" + x10000, x10000 + "\r\n" + x10000},
        {"a zero cuts the rest of its read, LF included", "ab\0cd\nef"s, "abef"},
        {"a read ends after 4094 bytes, so a zero there cuts nothing after it",
         x4093 + "\0"s + "yy\nzz", x4093 + "yy\r\nzz"},
        {"a zero just after a full read cuts the next read", x4094 + "\0yy\nzz"s, x4094 + "zz"},
        {"CR bytes do not count towards a read", x4093 + "\r\0y"s, x4093 + "y"},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {1u, 7u, 4096u, 1u << 20}) {
            BodyLineReader reader;
            for (std::size_t at = 0; at < c.body.size(); at += piece) {
                reader.Append(std::string_view(c.body).substr(at, piece));
            }
            EXPECT_EQ(reader.Text(), c.expected) << c.name << ", pieces of " << piece;
        }
    }
}

}  // namespace
}  // namespace strivo
