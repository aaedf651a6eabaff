#include "files/FitProtocol.h"

#include <array>

namespace strivo::fit {
namespace {

// The protocol's CRC is CRC-16 with the reflected polynomial 0xA001 and no
// final XOR. Tables by the byte, eight bytes at a time, read a file several
// times faster than the protocol document's table by the nibble, with the
// same result. kTables[k][b] is byte b followed by k zero bytes.
using Tables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr Tables MakeTables() {
    Tables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        std::uint16_t crc = static_cast<std::uint16_t>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 1) != 0 ? (crc >> 1) ^ 0xA001 : crc >> 1);
        }
        tables[0][byte] = crc;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            const std::uint16_t before = tables[k - 1][byte];
            tables[k][byte] = static_cast<std::uint16_t>((before >> 8) ^ tables[0][before & 0xFF]);
        }
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

std::uint16_t Crc(std::uint16_t crc, const unsigned char* bytes, std::size_t size) {
    for (; size >= 8; bytes += 8, size -= 8) {
        crc = static_cast<std::uint16_t>(
            kTables[7][(bytes[0] ^ crc) & 0xFF] ^ kTables[6][bytes[1] ^ (crc >> 8)] ^
            kTables[5][bytes[2]] ^ kTables[4][bytes[3]] ^ kTables[3][bytes[4]] ^
            kTables[2][bytes[5]] ^ kTables[1][bytes[6]] ^ kTables[0][bytes[7]]);
    }
    for (; size > 0; ++bytes, --size) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kTables[0][(crc ^ *bytes) & 0xFF]);
    }
    return crc;
}

}  // namespace strivo::fit
