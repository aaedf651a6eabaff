#pragma once

#include <cstddef>
#include <string_view>

namespace strivo {

// Bytes read piece by piece, so a reader holds no more of a file than the
// piece in hand: a 200 MB GPX file or a 1 GB FIT file reads in constant
// memory. A gzip file is a source over another source.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `room` bytes into `into`; 0 at the end. A source that cannot go
    // on (a read error, a gzip stream that breaks off) says so through its
    // own Result-returning accessor, and returns 0 from then on.
    virtual std::size_t Read(char* into, std::size_t room) = 0;
};

// A source over bytes already in memory (tests, fuzzing).
class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : m_rest(bytes) {}
    std::size_t Read(char* into, std::size_t room) override {
        const std::size_t n = room < m_rest.size() ? room : m_rest.size();
        for (std::size_t i = 0; i < n; ++i) {
            into[i] = m_rest[i];
        }
        m_rest.remove_prefix(n);
        return n;
    }

private:
    std::string_view m_rest;
};

}  // namespace strivo
