#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The numbers of the FIT protocol ("Flexible and Interoperable Data Transfer")
// that Strivo's reader and writer share, as the protocol document gives them.
namespace strivo::fit {

// FIT's date_time counts seconds from 1989-12-31T00:00:00Z.
inline constexpr std::int64_t kEpochUnixSeconds = 631065600;
// A date_time below this counts seconds from the device's power-on, not a
// time of day.
inline constexpr std::uint32_t kFirstAbsoluteTime = 0x10000000;

inline constexpr std::size_t kHeaderSize = 14;
inline constexpr std::size_t kShortHeaderSize = 12;  // without the header CRC
inline constexpr std::string_view kMagic = ".FIT";

// Record header bits.
inline constexpr std::uint8_t kCompressedTimestamp = 0x80;
inline constexpr std::uint8_t kDefinition = 0x40;
inline constexpr std::uint8_t kDeveloperData = 0x20;
inline constexpr std::uint8_t kLocalTypeMask = 0x0F;

// Base types as written in a field definition; the low 5 bits are the type's
// number, bit 7 says the type has an endianness.
enum BaseType : std::uint8_t {
    kEnum = 0x00,
    kSint8 = 0x01,
    kUint8 = 0x02,
    kSint16 = 0x83,
    kUint16 = 0x84,
    kSint32 = 0x85,
    kUint32 = 0x86,
    kString = 0x07,
    kFloat32 = 0x88,
    kFloat64 = 0x89,
    kUint8z = 0x0A,
    kUint16z = 0x8B,
    kUint32z = 0x8C,
    kByte = 0x0D,
    kSint64 = 0x8E,
    kUint64 = 0x8F,
    kUint64z = 0x90,
};
inline constexpr std::uint8_t kBaseTypeNumberMask = 0x1F;

// Global message numbers.
inline constexpr std::uint16_t kFileIdMessage = 0;
inline constexpr std::uint16_t kSessionMessage = 18;
inline constexpr std::uint16_t kLapMessage = 19;
inline constexpr std::uint16_t kRecordMessage = 20;
inline constexpr std::uint16_t kEventMessage = 21;
inline constexpr std::uint16_t kActivityMessage = 34;

// Field numbers every message shares.
inline constexpr std::uint8_t kTimestampField = 253;
inline constexpr std::uint8_t kMessageIndexField = 254;

// The sport enum's values for running, and for the transitions between the
// legs of a multisport race.
inline constexpr std::uint8_t kSportRunning = 1;
inline constexpr std::uint8_t kSportTransition = 3;

// The CRC-16 the protocol puts after the header and after the data, carried
// on from `crc` over `size` bytes (start with 0).
std::uint16_t Crc(std::uint16_t crc, const unsigned char* bytes, std::size_t size);
inline std::uint16_t Crc(std::uint16_t crc, std::string_view bytes) {
    return Crc(crc, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

}  // namespace strivo::fit
