#include "net/RequestUrl.h"

#include <gtest/gtest.h>

namespace strivo {
namespace {

TEST(RequestUrl, SchemeGivesOnlyThePortAndTheOptionsGiveTheScheme) {
    const struct {
        const char* url;
        bool secure;
        std::optional<std::string> expected;
    } cases[] = {
        {"https://h.example/p?q=1&r=2", false, "http://h.example:443/p?q=1&r=2"},
        {"http://h.example/p", true, "https://h.example:80/p"},
        {"http://h.example/p", false, "http://h.example/p"},
        {"https://h.example/p", true, "https://h.example/p"},
        {"https://h.example:8443/p", false, "http://h.example:8443/p"},
        {"http://h.example:8080", true, "https://h.example:8080/"},
        {"ftp://h.example/p", false, std::nullopt},
        {"h.example/p", false, std::nullopt},
        {"", true, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RequestUrl(c.url, c.secure), c.expected) << c.url << " secure=" << c.secure;
    }
}

}  // namespace
}  // namespace strivo
