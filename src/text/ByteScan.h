#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(STRIVO_NO_SIMD)
#include <emmintrin.h>
#endif

// Looking at text several bytes at a time, for scans that stop every few
// dozen bytes, where a call to memchr would cost more than the bytes it
// skips: eight at a time in a 64-bit word, or sixteen in a block (with SSE2
// where the compiler has it, as on every x86-64; else as two words).
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

// Bit 7 of each byte of `word` that is zero, and of no other.
constexpr std::uint64_t ZeroBytes(std::uint64_t word) {
    return ~(((word & ~kHighBits) + ~kHighBits) | word | ~kHighBits);
}

// Which byte the first bit of a non-zero mask of BytesBelow or ZeroBytes is in.
constexpr unsigned FirstByte(std::uint64_t mask) {
    return static_cast<unsigned>(std::countr_zero(mask)) / 8;
}

inline constexpr std::size_t kBlock = 16;

// One bit for each of the sixteen bytes at `at` that equals `byte`, the
// first byte's in bit 0.
inline std::uint32_t BlockEqual(const char* at, char byte) {
#if defined(__SSE2__) && !defined(STRIVO_NO_SIMD)
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(byte))));
#else
    // The bit 7s of a word's bytes, gathered into eight bits in a row.
    const auto gather = [](std::uint64_t highBits) {
        return static_cast<std::uint32_t>(((highBits >> 7) * 0x0102040810204080) >> 56);
    };
    const std::uint64_t pattern = kOnes * static_cast<unsigned char>(byte);
    return gather(ZeroBytes(Load(at) ^ pattern)) | gather(ZeroBytes(Load(at + 8) ^ pattern)) << 8;
#endif
}

// Which byte the first bit of a non-zero mask of BlockEqual stands for.
inline unsigned FirstInBlock(std::uint32_t mask) {
    return static_cast<unsigned>(std::countr_zero(mask));
}

}  // namespace strivo::byte_scan
