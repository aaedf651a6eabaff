#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace strivo {
namespace {

TEST(Utf8ToCp936, ReplacesWhatCannotBeRepresented) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\xF0\x9F\x8F\x83z", "a?z"},            // U+1F3C3 runner: not in CP936
        {"\xE2\x82\xAC", "\x80"},                 // euro sign
        {"a\xFFz", "a?z"},                        // never valid in UTF-8
        {"\xC0\xAF", "??"},                       // overlong: each byte is its own subpart
        {"\xE8\xB7", "?"},                        // cut-off sequence at the end
        {"\xE8\xB7z\xE8\xB7\x91", "?z\xC5\xDC"},  // cut-off sequence in the middle
        {"\xED\xA0\x80", "???"},                  // UTF-16 surrogate
        {"\xF4\x90\x80\x80", "????"},             // above U+10FFFF
        // Tag characters U+E0000 and U+E007F (as in flag emoji): glibc's iconv drops them.
        {"a\xF3\xA0\x80\x80\xF3\xA0\x81\xBFz", "a??z"},
    };
    for (const auto& [utf8, expected] : cases) {
        EXPECT_EQ(Utf8ToCp936(utf8), expected);
    }
}

TEST(Cp936ToUtf8, InvalidPairsDecodeToQuestionMarks) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xC5\xDC", "\xE8\xB7\x91"}, {"a\xC5", "a?"},  // lone lead byte at the end
        {"\xC5\x30z", "?0z"},                           // lead byte + invalid trail: skip one
        {"\xFF\x61", "?a"},                             // not a lead byte
        {"\xAA\xA1\x62", "?b"},                         // valid pair, unassigned: skip two
        {"\x80", "\xE2\x82\xAC"},
    };
    for (const auto& [cp936, expected] : cases) {
        EXPECT_EQ(Cp936ToUtf8(cp936), expected);
    }
}

TEST(CodePage, EveryAssignedDoubleByteCharacterRoundTrips) {
    int assigned = 0;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) {
                continue;
            }
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const std::string utf8 = Cp936ToUtf8(pair);
            if (utf8 == "?") {
                continue;
            }
            ++assigned;
            ASSERT_EQ(Utf8ToCp936(utf8), pair) << std::hex << lead << " " << trail;
        }
    }
    EXPECT_GT(assigned, 21000);  // GBK assigns 21,886 characters
}

TEST(Cp936Prefix, NeverSplitsADoubleByteCharacter) {
    const std::string text = "a\xC5\xDC\xB2\xBD";  // a跑步
    EXPECT_EQ(Cp936Prefix(text, 10), text);
    EXPECT_EQ(Cp936Prefix(text, 3), "a\xC5\xDC");
    EXPECT_EQ(Cp936Prefix(text, 2), "a");
    EXPECT_EQ(Cp936Prefix(text, 0), "");
    EXPECT_EQ(Cp936Prefix("\x85]x", 1), "");  // "]" here is a trail byte
}

}  // namespace
}  // namespace strivo
