#include "text/TextHelpers.h"

#include <gtest/gtest.h>

#include <string>

#include "../support/Cp936Literal.h"

namespace strivo {
namespace {

using test::Gbk;

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
        {Gbk("3小时4分5秒"), "", Gbk("小时"), "3"},  // empty start marker matches at 0
        {"<a>12", "<a>", "</a>", ""},                // no end marker: nothing, not the rest
        {"", "", "", ""},
        {"abc", "", "", "abc"},
        {"a<b>", "<b>", "x", ""},
        {"aXXb", "X", "X", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextBetween(c.text, c.start, c.end), c.expected)
            << "text=" << c.text << " start=" << c.start << " end=" << c.end;
    }
}

TEST(TextBetween, LeavesCallersStringsAlone) {
    const std::string text = "[CDATA[ name ]]";
    EXPECT_EQ(TextBetween(text, "[CDATA[", "]"), " name ");
    EXPECT_EQ(text, "[CDATA[ name ]]");
}

// The rule for every byte value: unchanged, "+", "%xx" lowercase or "%XX" uppercase.
std::string ExpectedEncoding(unsigned byte) {
    const std::string reserved = "\"<>%\\^[]`+$,@:;/!#?=&";
    char buffer[8];
    if (byte == ' ') {
        return "+";
    }
    if (byte != 0 && reserved.find(static_cast<char>(byte)) != std::string::npos) {
        std::snprintf(buffer, sizeof buffer, "%%%02x", byte);
        return buffer;
    }
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') ||
                       std::string("'()*-._").find(byte) != std::string::npos;
    if (plain) {
        return std::string(1, static_cast<char>(byte));
    }
    std::snprintf(buffer, sizeof buffer, "%%%02X", byte);
    return buffer;
}

TEST(FormEncode, EveryByteValueFollowsTheRule) {
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::string text(1, static_cast<char>(byte));
        EXPECT_EQ(FormEncode(text), ExpectedEncoding(byte)) << "byte " << byte;
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
    };
    for (const auto& [input, expected] : cases) {
        std::string text = input;
        EXPECT_EQ(FormEncode(text), expected) << input;
        EXPECT_EQ(text, expected) << "the caller's text holds the encoded value too";
    }
}

TEST(FormEncode, Utf8CodePageSendsUtf8Bytes) {
    std::string text = Gbk("跑 a");
    EXPECT_EQ(FormEncode(text, kUtf8CodePage), "%E8%B7%91+a");
}

TEST(PercentEncode, KeepsOnlyUnreservedBytes) {
    EXPECT_EQ(PercentEncode("run fast & far"), "run%20fast%20%26%20far");
    EXPECT_EQ(PercentEncode("a+b#c=d%e"), "a%2Bb%23c%3Dd%25e");
    EXPECT_EQ(PercentEncode("Az09-._~"), "Az09-._~");
    EXPECT_EQ(PercentEncode("\xC5\xDC"), "%C5%DC");
    EXPECT_EQ(PercentEncode(""), "");
}

TEST(FormatDuration, ReadsMillisecondsAsSigned32BitAndTruncates) {
    const std::pair<std::string, std::string> cases[] = {
        {"44604000", "12小时23分24秒"},
        {"3723000", "1小时2分3秒"},
        {"3599999", "0小时59分59秒"},
        {"90000000", "25小时0分0秒"},
        {"3600000", "1小时0分0秒"},
        {"1834000", "0小时30分34秒"},
        {"999", "0小时0分0秒"},
        {"-61000", "0小时-1分-1秒"},
        {"  5000", "0小时0分5秒"},
        {"12.9", "0小时0分0秒"},
        {"", "0小时0分0秒"},
        {"abc", "0小时0分0秒"},
        {"+7000x", "0小时0分7秒"},
        {"2147483647", "596小时31分23秒"},
        {"99999999999", "596小时31分23秒"},  // clamps like strtol
        {"-99999999999", "-596小时-31分-23秒"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(FormatDuration(input), Gbk(expected.c_str())) << "input " << input;
    }
}

TEST(Utf8ToAnsi, ConvertsToCodePage936) {
    std::string text = "\xE8\xB7\x91";  // 跑
    Utf8ToAnsi(text);
    EXPECT_EQ(text, "\xC5\xDC");

    std::string ascii = "<name><![CDATA[ runner7 ]]></name>";
    const std::string original = ascii;
    Utf8ToAnsi(ascii);
    EXPECT_EQ(ascii, original);
}

TEST(Utf8ToAnsi, LongMixedTextArrivesWhole) {
    std::string utf8, expected;
    for (int i = 0; i < 5000; ++i) {
        utf8 += "<n>\xE8\xB7\x91\xE6\xAD\xA5</n>";  // <n>跑步</n>
        expected += "<n>\xC5\xDC\xB2\xBD</n>";
    }
    Utf8ToAnsi(utf8);
    EXPECT_EQ(utf8, expected);
}

TEST(Utf8ToAnsi, StopsAtZeroByte) {
    std::string text("ab\0cd", 5);
    Utf8ToAnsi(text);
    EXPECT_EQ(text, "ab");
}

}  // namespace
}  // namespace strivo
