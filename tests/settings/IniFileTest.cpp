#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <string>

namespace strivo {
namespace {

struct ReadCase {
    const char* name;
    std::string content, section, key, expected;
    std::size_t buffer = 100;
};

TEST(IniFileRead, FollowsPrivateProfileRules) {
    const ReadCase cases[] = {
        {"plain", "[a]\r\nk=v\r\n", "a", "k", "v"},
        {"names ignore case", "[NiKe+]\r\nUSER=x\r\n", "nike+", "user", "x"},
        {"names trimmed", "  [ a ]  \r\n  k  =  v w  \r\n", "a", "k", "v w"},
        {"double quotes", "[a]\nk=\" v \"\n", "a", "k", " v "},
        {"unmatched quotes kept", "[a]\nk=\"v'\n", "a", "k", "\"v'"},
        {"one quote alone kept", "[a]\nk=\"\n", "a", "k", "\""},
        {"missing key", "[a]\nk=v\n", "a", "x", "default"},
        {"missing section", "[a]\nk=v\n", "b", "k", "default"},
        {"key outside section", "k=v\n[a]\n", "a", "k", "default"},
        {"key without equals", "[a]\nk\n", "a", "k", ""},
        {"first key wins", "[a]\nk=1\nk=2\n", "a", "k", "1"},
        {"first section wins", "[a]\nx=1\n[a]\nk=2\n", "a", "k", "default"},
        {"comment is no key", "[a]\n;k=1\n", "a", "k", "default"},
        {"cut to buffer - 1", "[a]\nk=abcdef\n", "a", "k", "abc", 4},
        {"last line without line end", "[a]\nk=v", "a", "k", "v"},
        {"equals in value", "[a]\nk=a=b\n", "a", "k", "a=b"},
        // 乗 is 81 5D in CP936: its trail byte is "]"; 乕 is 81 5B ("[").
        {"trail byte ] in section name", "[\x81\x5D]\nk=v\n", "\x81\x5D", "k", "v"},
        {"unclosed header is no header", "[a]\n[\x81\x5D\nk=v\n", "a", "k", "v"},
        {"trail byte [ in key", "[a]\n\x81\x5Bk=v\n", "a", "\x81\x5Bk", "v"},
        // 丂 is 81 40, 丄 is 81 41 vs 81 61 (丄 vs 乣): trail letters must not fold.
        {"trail letters not folded", "[a]\n\x81\x41=v\n", "a", "\x81\x61", "default"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IniFile(c.content).Read(c.section, c.key, "default", c.buffer), c.expected)
            << c.name;
    }
}

struct WriteCase {
    const char* name;
    std::string before, section, key, value, after;
};

TEST(IniFileWrite, ChangesOnlyWhatItMust) {
    const WriteCase cases[] = {
        {"replace in place", "; top\r\n[a]\r\nk=old\r\nz=1\r\n", "a", "k", "new",
         "; top\r\n[a]\r\nk=new\r\nz=1\r\n"},
        {"keeps spacing before value", "[a]\r\n  K = old  \r\n", "a", "k", "new",
         "[a]\r\n  K = new\r\n"},
        {"key without equals", "[a]\r\nk\r\n", "a", "k", "v", "[a]\r\nk=v\r\n"},
        {"missing key after last key line", "[a]\r\nx=1\r\n\r\n; c\r\n[b]\r\n", "a", "k", "v",
         "[a]\r\nx=1\r\nk=v\r\n\r\n; c\r\n[b]\r\n"},
        {"missing key in empty section", "[a]\r\n[b]\r\n", "a", "k", "v", "[a]\r\nk=v\r\n[b]\r\n"},
        {"missing key, file without last line end", "[a]\r\nx=1", "a", "k", "v",
         "[a]\r\nx=1\r\nk=v\r\n"},
        {"missing section at end, no blank line", "[a]\r\nx=1\r\n", "kelvora", "user", "u",
         "[a]\r\nx=1\r\n[kelvora]\r\nuser=u\r\n"},
        {"missing section, no last line end", "[a]\r\nx=1", "b", "k", "v",
         "[a]\r\nx=1\r\n[b]\r\nk=v\r\n"},
        {"empty file", "", "a", "k", "v", "[a]\r\nk=v\r\n"},
        {"LF file keeps LF", "[a]\nx=1\n", "b", "k", "v", "[a]\nx=1\n[b]\nk=v\n"},
        {"empty value", "[a]\r\nk=old\r\n", "a", "k", "", "[a]\r\nk=\r\n"},
        {"line break cut from value", "[a]\r\nk=old\r\n", "a", "k", "x\r\ny=1", "[a]\r\nk=x\r\n"},
        {"first of two sections", "[a]\r\n[A]\r\nk=1\r\n", "a", "k", "2",
         "[a]\r\nk=2\r\n[A]\r\nk=1\r\n"},
    };
    for (const auto& c : cases) {
        IniFile ini(c.before);
        ini.Write(c.section, c.key, c.value);
        EXPECT_EQ(ini.content(), c.after) << c.name;
    }
}

}  // namespace
}  // namespace strivo
