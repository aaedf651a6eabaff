#pragma once

#include <memory>

#include "files/ByteSource.h"
#include "model/Result.h"

struct z_stream_s;

namespace strivo {

// The bytes a gzip file holds, inflated as the reader asks for them from the
// compressed source below. Members that follow one another (`cat a.gz b.gz`)
// read as one stream, as gzip -d reads them.
class GzipSource : public ByteSource {
public:
    explicit GzipSource(ByteSource& compressed);
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    std::size_t Read(char* into, std::size_t room) override;
    // GzipDamaged (not gzip, or a check that fails) or GzipTruncated (the
    // compressed bytes end inside a member) once Read has met it; from then
    // on Read gives 0. Success while the stream is whole so far.
    const Outcome& Status() const { return m_status; }

private:
    void Fail(ProblemCode code);

    ByteSource& m_compressed;
    std::unique_ptr<z_stream_s> m_stream;
    std::unique_ptr<char[]> m_input;
    bool m_inMember = false;  // inside a member that has not ended yet
    bool m_compressedEnded = false;
    bool m_anyInput = false;
    bool m_done = false;
    Outcome m_status;
};

}  // namespace strivo
