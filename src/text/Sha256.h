#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// SHA-256 (FIPS 180-4) and HMAC-SHA-256 (RFC 2104) in portable C++, so the
// Windows build needs no crypto library. The store keeps an HMAC of a refused
// password under a random key of its own, never the password, to tell whether
// the runner has changed it since. Any thread may call these.
namespace strivo {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(std::string_view message);
Sha256Digest HmacSha256(std::string_view key, std::string_view message);

// The bytes as lowercase hex digits, two per byte.
std::string ToHex(std::span<const std::uint8_t> bytes);

}  // namespace strivo
