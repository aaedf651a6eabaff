#include "files/GzipSource.h"

#include <zlib.h>

#include <climits>

namespace strivo {
namespace {

constexpr std::size_t kInputSize = 64 * 1024;
// Window bits for inflate: the largest window, and a gzip wrapper only.
constexpr int kGzipOnly = 16 + MAX_WBITS;

}  // namespace

GzipSource::GzipSource(ByteSource& compressed)
    : m_compressed(compressed),
      m_stream(std::make_unique<z_stream_s>()),
      m_input(std::make_unique<char[]>(kInputSize)) {
    if (inflateInit2(m_stream.get(), kGzipOnly) != Z_OK) {
        m_stream.reset();
        Fail(ProblemCode::GzipDamaged);
    }
}

GzipSource::~GzipSource() {
    if (m_stream) {
        inflateEnd(m_stream.get());
    }
}

void GzipSource::Fail(ProblemCode code) {
    std::string detail;
    if (m_stream && m_stream->msg != nullptr) {
        detail = m_stream->msg;
    }
    m_status = Problem(code, {}, std::move(detail));
    m_done = true;
}

std::size_t GzipSource::Read(char* into, std::size_t room) {
    if (m_done || room == 0) {
        return 0;
    }
    z_stream_s& stream = *m_stream;
    stream.next_out = reinterpret_cast<Bytef*>(into);
    stream.avail_out = static_cast<uInt>(room < UINT_MAX ? room : UINT_MAX);
    const uInt asked = stream.avail_out;
    while (stream.avail_out == asked) {
        if (stream.avail_in == 0 && !m_compressedEnded) {
            const std::size_t got = m_compressed.Read(m_input.get(), kInputSize);
            m_compressedEnded = got == 0;
            m_anyInput = m_anyInput || got > 0;
            stream.next_in = reinterpret_cast<Bytef*>(m_input.get());
            stream.avail_in = static_cast<uInt>(got);
        }
        if (stream.avail_in == 0 && m_compressedEnded) {
            // An empty file, or one that stops inside a member.
            if (m_inMember || !m_anyInput) {
                Fail(ProblemCode::GzipTruncated);
            }
            m_done = true;
            break;
        }
        m_inMember = true;
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            // Another member may follow; what follows must then be one.
            m_inMember = false;
            if (inflateReset(&stream) != Z_OK) {
                Fail(ProblemCode::GzipDamaged);
                break;
            }
        } else if (status == Z_BUF_ERROR && stream.avail_in == 0) {
            // All input taken in: more of it next round.
            continue;
        } else if (status != Z_OK) {
            Fail(ProblemCode::GzipDamaged);
            break;
        }
    }
    return asked - stream.avail_out;
}

}  // namespace strivo
