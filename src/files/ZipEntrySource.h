#pragma once

#include <cstdint>
#include <memory>

#include "files/ByteSource.h"
#include "files/ZipArchive.h"
#include "model/Result.h"

struct zip_file;
struct z_stream_s;

namespace strivo {

// The bytes of one entry of an archive: stored and deflated entries only,
// unencrypted, the same on every platform (where Debian builds libzip with
// more methods, the bounds on inflation would not hold for them). libzip
// gives the entry's bytes as they lie in the archive, under the archive's
// lock; they are inflated and checked here, outside it, so that threads
// reading entries of one archive inflate side by side.
class ZipEntrySource : public ByteSource {
public:
    ZipEntrySource(ZipArchive& archive, const ZipEntry& entry);
    ~ZipEntrySource() override;
    ZipEntrySource(const ZipEntrySource&) = delete;
    ZipEntrySource& operator=(const ZipEntrySource&) = delete;

    std::size_t Read(char* into, std::size_t room) override;
    // Reads what a reader left, so that the check sum and the size are
    // checked however soon the reader stopped.
    void Finish();
    // ZipEntryUnreadable, `detail` libzip's words: a method not read,
    // encryption, a CRC or a size that does not match the directory's, data
    // that does not inflate. From then on Read gives 0.
    const Outcome& Status() const { return m_status; }

private:
    std::int64_t ReadStored(char* into, std::size_t room);
    std::size_t Inflate(char* into, std::size_t room, bool& ended);
    void Fail(const char* words);
    void FailWith(int libzipError, int systemError = 0);

    ZipArchive& m_archive;
    zip_file* m_file = nullptr;
    std::unique_ptr<z_stream_s> m_stream;  // for a deflated entry
    std::unique_ptr<char[]> m_input;
    bool m_storedEnded = false;  // the bytes as stored all read
    std::uint64_t m_left;        // what the entry declares, less what was read
    std::uint32_t m_crc = 0, m_declaredCrc = 0;
    bool m_ended = false;
    Outcome m_status;
};

}  // namespace strivo
