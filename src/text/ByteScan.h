#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Looking at text eight bytes at a time, in a 64-bit word, for scans that
// stop every few dozen bytes, where a call to memchr would cost more than the
// bytes it skips.
namespace strivo::byte_scan {

inline constexpr std::uint64_t kOnes = 0x0101010101010101;
inline constexpr std::uint64_t kHighBits = 0x8080808080808080;

// The eight bytes at `at`, the first of them in the low bits.
inline std::uint64_t Load(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}

// Bit 7 of each byte of `word` below `limit` (at most 128); bits above the
// first such byte may be set without cause, so only the first is to be trusted.
constexpr std::uint64_t BytesBelow(std::uint64_t word, unsigned limit) {
    return (word - kOnes * limit) & ~word & kHighBits;
}

// Which byte the first bit of a non-zero mask of BytesBelow is in.
constexpr unsigned FirstByte(std::uint64_t mask) {
    return static_cast<unsigned>(std::countr_zero(mask)) / 8;
}

}  // namespace strivo::byte_scan
