#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/ByteSource.h"

namespace strivo::test {

// Bytes in pieces of 1 to 7, so that every value a reader keeps is split
// across reads somewhere.
class TricklingSource : public ByteSource {
public:
    explicit TricklingSource(std::string_view bytes) : m_rest(bytes) {}
    std::size_t Read(char* into, std::size_t room) override {
        m_step = m_step % 7 + 1;
        const std::size_t n = std::min({room, m_rest.size(), m_step});
        m_rest.copy(into, n);
        m_rest.remove_prefix(n);
        return n;
    }

private:
    std::string_view m_rest;
    std::size_t m_step = 0;
};

// `bytes` as one gzip member.
inline std::string Gzip(std::string_view bytes) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// One file of a zip archive made by hand, as honest or as hostile as a test
// needs: the archive readers are checked against bytes they did not write.
struct ZipMember {
    std::string name;
    std::string bytes;
    bool deflate = true;
    std::optional<std::uint32_t> declaredSize;  // else the size of `bytes`
    std::uint16_t method = 0;                   // else stored or deflated
    bool encrypted = false;
    bool wrongCrc = false;
    std::optional<std::size_t> dataOf;  // the header and data of an earlier member, shared
};

// `size` bytes of `value`, the lowest first; past its eight, zeros.
inline void PutLittle(std::string& out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) {
        out.push_back(i < 8 ? static_cast<char>(value >> (8 * i) & 0xFF) : '\0');
    }
}

// The members as a zip archive: local headers and data, the central
// directory, and its end record, whose count of entries is taken modulo
// 65,536 as Info-ZIP writes it past that many.
inline std::string Zip(const std::vector<ZipMember>& members) {
    std::string out, directory;
    // Per member: where its header starts, and its fields from "version
    // needed" to the sizes, the same in both records.
    std::vector<std::pair<std::uint64_t, std::string>> made;
    for (const ZipMember& member : members) {
        if (member.dataOf) {
            made.push_back(made[*member.dataOf]);
        } else {
            std::string data = member.bytes;
            if (member.deflate) {
                z_stream stream{};
                deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9,
                             Z_DEFAULT_STRATEGY);
                data.assign(deflateBound(&stream, static_cast<uLong>(member.bytes.size())), '\0');
                stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.bytes.data()));
                stream.avail_in = static_cast<uInt>(member.bytes.size());
                stream.next_out = reinterpret_cast<Bytef*>(data.data());
                stream.avail_out = static_cast<uInt>(data.size());
                deflate(&stream, Z_FINISH);
                data.resize(stream.total_out);
                deflateEnd(&stream);
            }
            std::string fields;
            PutLittle(fields, 20, 2);
            PutLittle(fields, member.encrypted ? 1 : 0, 2);
            PutLittle(fields, member.method ? member.method : member.deflate ? 8 : 0, 2);
            PutLittle(fields, 0x00210000, 4);  // 1980-01-01 00:00
            PutLittle(fields,
                      crc32(0, reinterpret_cast<const Bytef*>(member.bytes.data()),
                            static_cast<uInt>(member.bytes.size())) ^
                          (member.wrongCrc ? 1u : 0u),
                      4);
            PutLittle(fields, data.size(), 4);
            PutLittle(fields, member.declaredSize.value_or(member.bytes.size()), 4);
            made.push_back({out.size(), fields});
            out += "PK\x03\x04" + fields;
            PutLittle(out, member.name.size(), 4);  // and no extra field
            out += member.name + data;
        }
        directory += "PK\x01\x02";
        PutLittle(directory, 20, 2);  // made by
        directory += made.back().second;
        PutLittle(directory, member.name.size(), 4);  // and no extra field
        PutLittle(directory, 0, 10);                  // comment, disk, attributes
        PutLittle(directory, made.back().first, 4);
        directory += member.name;
    }
    const std::uint64_t start = out.size();
    out += directory + "PK\x05\x06";
    PutLittle(out, 0, 4);
    PutLittle(out, members.size() % 0x10000, 2);
    PutLittle(out, members.size() % 0x10000, 2);
    PutLittle(out, directory.size(), 4);
    PutLittle(out, start, 4);
    PutLittle(out, 0, 2);
    return out;
}

}  // namespace strivo::test
