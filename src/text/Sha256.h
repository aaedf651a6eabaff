#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// SHA-256 and HMAC-SHA-256 as the platform computes them: libcrypto
// (OpenSSL) on Linux, Sha256OpenSsl.cpp; BCrypt on Windows, Sha256Win.cpp.
// The store keeps an HMAC of a refused password under a random key of its
// own, never the password, to tell whether the runner has changed it since.
// Empty only when the platform's library fails (no memory, or a policy that
// forbids the algorithm). Any thread may call these.
namespace strivo {

using Sha256Digest = std::array<std::uint8_t, 32>;

std::optional<Sha256Digest> Sha256(std::string_view message);
std::optional<Sha256Digest> HmacSha256(std::string_view key, std::string_view message);

}  // namespace strivo
