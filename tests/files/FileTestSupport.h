#pragma once

#include <zlib.h>

#include <cstddef>
#include <string>
#include <string_view>

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

}  // namespace strivo::test
