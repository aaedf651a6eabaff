#include "text/TextHelpers.h"

#include <gtest/gtest.h>

#include <string>

#include "../support/Cp936Literal.h"

namespace strivo {
namespace {

using test::Cp936;

struct BetweenCase {
    std::string text, start, end, expected;
};

TEST(TextBetween, TakesFirstStartMarkerAndFirstEndMarkerAfterIt) {
    const BetweenCase cases[] = {
        {"<a>12</a><a>34</a>", "<a>", "</a>", "12"},
        {"</a><a>5</a>", "<a>", "</a>", "5"},  // an end marker before the start is skipped
        {"abab", "ab", "ab", ""},              // end marker right where the value begins
        {"x=1;y=2", "y=", "", "2"},            // empty end marker: the rest of the text
        {"x=1;y=2", "z=", "", ""},
        {Cp936("3小时4分5秒"), "", Cp936("小时"), "3"},  // empty start marker matches at 0
        {"<a>12", "<a>", "</a>", ""},                    // no end marker: nothing, not the rest
        {"abc", "", "", "abc"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextBetween(c.text, c.start, c.end), c.expected)
            << "text=" << c.text << " start=" << c.start << " end=" << c.end;
    }
}

TEST(FormEncode, WorkedExamples) {
    const std::pair<std::string, std::string> cases[] = {
        {"a b&c", "a+b%26c"},
        {"1:2/3", "1%3a2%2f3"},
        {"50%", "50%25"},
        {"{x}~", "%7Bx%7D%7E"},
        {"\t", "%09"},
        {"\n", "%0A"},
        {"\xC5\xDC", "%C5%DC"},                            // 跑
        {"\x85\x5E", "%85%5e"},                            // 區: trail byte is "^"
        {"Nike+\xCD\xAC\xB2\xBD", "Nike%2b%CD%AC%B2%BD"},  // Nike+同步
        {"2010-04-20 06:30:15", "2010-04-20+06%3a30%3a15"},
        {"", ""},
        {"AZaz09'()*-._", "AZaz09'()*-._"},
        {"%25", "%2525"},  // an existing escape is escaped again, once
        {std::string("\0\x7F\xFF", 3), "%00%7F%FF"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(FormEncode(input), expected) << input;
    }
}

}  // namespace
}  // namespace strivo

namespace strivo {
namespace {

// What came from outside reaches no face with a control in it; CP936's
// double-byte characters (0xC2 0x80 is one) are no controls.
TEST(MaskControls, MasksC0DelAndC1AsEachEncodingHasThem) {
    const struct {
        std::string text;
        TextEncoding encoding;
        bool keepLineEnds;
        std::string expected;
    } cases[] = {
        {"a\x1b]0;x\x07"
         "b\x7f",
         TextEncoding::Utf8, false, "a?]0;x?b?"},
        {"\xC2\x9B"
         "31m\xC2\xA0",
         TextEncoding::Utf8, false, "?31m\xC2\xA0"},  // CSI, then NBSP
        {"\xC2\x9B"
         "31m",
         TextEncoding::Cp936, false,
         "\xC2\x9B"
         "31m"},
        {"a\r\nb\rc\n", TextEncoding::Utf8, true, "a\r\nb?c\n"},
        {"a\r\nb\n", TextEncoding::Cp936, false, "a??b?"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MaskControls(c.text, c.encoding, c.keepLineEnds), c.expected) << c.text;
        EXPECT_EQ(HoldsControls(c.text, c.encoding), c.text != c.expected) << c.text;
    }
    EXPECT_EQ(CutText("ab跑步c", 3), "ab跑…");
    EXPECT_EQ(CutText("ab跑", 3), "ab跑");
}

}  // namespace
}  // namespace strivo
