#include "text/Sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "text/TextHelpers.h"

namespace strivo {
namespace {

std::string Repeat(char byte, std::size_t count) {
    return std::string(count, byte);
}

TEST(Sha256, Fips180Examples) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopq"
         "rlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {Repeat('a', 1000000), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [message, expected] : cases) {
        EXPECT_EQ(ToHex(Sha256(message).value()), expected) << message.substr(0, 64);
    }
}

TEST(HmacSha256, Rfc4231Examples) {
    std::string counting;
    for (char byte = 1; byte <= 25; ++byte) {
        counting += byte;
    }
    const struct {
        std::string key, message, expected;
    } cases[] = {
        {Repeat('\x0b', 20), "Hi There",
         "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"Jefe", "what do ya want for nothing?",
         "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {Repeat('\xaa', 20), Repeat('\xdd', 50),
         "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        {counting, Repeat('\xcd', 50),
         "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
        // The RFC gives the first 128 bits only.
        {Repeat('\x0c', 20), "Test With Truncation", "a3b6167473100ee06e0c796c2955552b"},
        // Keys longer than a block are hashed first.
        {Repeat('\xaa', 131), "Test Using Larger Than Block-Size Key - Hash Key First",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {Repeat('\xaa', 131),
         "This is a test using a larger than block-size key and a larger than block-size data. "
         "The key needs to be hashed before being used by the HMAC algorithm.",
         "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToHex(HmacSha256(c.key, c.message).value()).substr(0, c.expected.size()),
                  c.expected)
            << c.message;
    }
}

}  // namespace
}  // namespace strivo
