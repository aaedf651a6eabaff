#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "files/ByteSource.h"
#include "model/Result.h"

struct zip;
struct zip_file;

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
// An entry's bytes come as a ZipEntrySource, inflated as they are read.
// Bounded as a gzip file is: the directory is counted before libzip takes it
// in (at most kMostEntries files in kMostDirectoryBytes), an entry never
// gives more than it declares, and the entries a reader takes may declare at
// most what deflate can make of the archive's bytes (kMostInflation times).
// Several threads may read entries of one archive: each call into libzip
// holds the archive's lock.
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

// The bytes of one entry, inflated when deflate packed them; stored and
// deflated entries only, unencrypted, the same on every platform.
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
    // ZipEntryUnreadable (`detail` libzip's words: a method not read,
    // encryption, a CRC or size that does not match, damaged data) once met;
    // from then on Read gives 0.
    const Outcome& Status() const { return m_status; }

private:
    void Fail(const char* words);
    void FailWith(int libzipError);

    ZipArchive& m_archive;
    zip_file* m_file = nullptr;
    std::uint64_t m_left;  // what the entry declares, less what was read
    bool m_ended = false;
    Outcome m_status;
};

// An archive whose entries are read one by one, perhaps on several threads:
// opened for the first of them and closed after the last, so that a folder
// of archives keeps one or two open at a time.
class ZipArchiveShare {
public:
    ZipArchiveShare(std::filesystem::path path, std::size_t entries)
        : m_path(std::move(path)), m_unread(entries) {}

    const std::filesystem::path& path() const { return m_path; }
    // The archive, opened if no read holds it open; the problems of Open.
    Result<std::shared_ptr<ZipArchive>> Acquire();
    // One entry read: after the last, the archive closes once its readers let go.
    void Release();

private:
    std::filesystem::path m_path;
    std::mutex m_mutex;
    std::shared_ptr<ZipArchive> m_open;
    std::size_t m_unread;
};

}  // namespace strivo
