#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/Result.h"

struct zip;

namespace strivo {

// A file inside an archive, as the archive's directory lists it.
struct ZipEntry {
    std::uint64_t index = 0;
    // In UTF-8: as the archive gives it when that is UTF-8 (flagged or
    // plain ASCII), else read as code page 936, as Chinese Windows writes
    // names. Only ever a name: never a place on disk.
    std::string name;
    std::uint64_t size = 0;  // the bytes it says it holds, inflated
};

// A zip archive on disk, read in place through libzip: nothing is unpacked.
// An entry's bytes come as a ZipEntrySource, inflated as they are read; a
// ZipArchiveShare lets the entries of one be read on several threads.
// Bounded as a gzip file is: the directory is counted before libzip takes it
// in (at most kMostEntries files in kMostDirectoryBytes), an entry never
// gives more than it declares, and the entries a reader takes may declare at
// most what deflate can make of the archive's bytes (kMostInflation times).
// Several threads may read entries of one archive: each call into libzip
// holds the archive's lock, and nothing else does.
class ZipArchive {
public:
    static constexpr std::uint64_t kMostEntries = 65'535;  // a zip without ZIP64 holds no more
    static constexpr std::uint64_t kMostDirectoryBytes = std::uint64_t{16} << 20;
    static constexpr std::uint64_t kMostInflation = 1'032;  // deflate's largest ratio

    // ZipDirectoryTooLarge, or ZipUnreadable with libzip's words (not a zip
    // archive, damaged, cannot be opened); `path` is named by the caller.
    static Result<std::unique_ptr<ZipArchive>> Open(const std::filesystem::path& path);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Its files in the directory's order; folders left out.
    std::vector<ZipEntry> Entries();
    // The archive's own size in bytes.
    std::uint64_t Bytes() const { return m_bytes; }

private:
    friend class ZipEntrySource;
    ZipArchive(zip* archive, std::uint64_t bytes) : m_zip(archive), m_bytes(bytes) {}

    zip* m_zip;
    std::uint64_t m_bytes;
    std::mutex m_mutex;
};

}  // namespace strivo
