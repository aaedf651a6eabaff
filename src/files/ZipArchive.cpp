#include "files/ZipArchive.h"

#include <zip.h>

#include <algorithm>
#include <string_view>

#include "io/PathText.h"
#include "text/CodePage.h"

namespace strivo {
namespace {

// Records of the format, as its note (APPNOTE.TXT) lays them out.
constexpr std::string_view kEndMagic = "PK\x05\x06";
constexpr std::string_view kEnd64LocatorMagic = "PK\x06\x07";
constexpr std::string_view kEnd64Magic = "PK\x06\x06";
constexpr std::string_view kEntryMagic = "PK\x01\x02";
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kEnd64LocatorSize = 20;
constexpr std::size_t kEnd64Size = 56;
constexpr std::size_t kEntrySize = 46;
// Where libzip looks for end records: the last 64 KiB (the longest comment)
// and the records themselves.
constexpr std::uint64_t kTailSize = 0xFFFF + kEndSize + kEnd64LocatorSize;

std::uint64_t Little(const char* bytes, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

// Reads an open libzip source at any offset, a window at a time.
class SourceWindow {
public:
    explicit SourceWindow(zip_source_t* source) : m_source(source) {}

    // `count` bytes at `offset` (count at most kWindow), or empty when the
    // source holds fewer.
    std::string_view At(std::uint64_t offset, std::size_t count) {
        if (offset < m_offset || offset + count > m_offset + m_bytes.size()) {
            m_bytes.resize(kWindow);
            m_offset = offset;
            zip_int64_t got = -1;
            if (zip_source_seek(m_source, static_cast<zip_int64_t>(offset), SEEK_SET) == 0) {
                got = zip_source_read(m_source, m_bytes.data(), kWindow);
            }
            m_bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        }
        if (offset + count > m_offset + m_bytes.size()) {
            return {};
        }
        return std::string_view(m_bytes).substr(offset - m_offset, count);
    }

private:
    static constexpr std::size_t kWindow = 64 * 1024;
    zip_source_t* m_source;
    std::string m_bytes;
    std::uint64_t m_offset = 0;
};

// libzip takes in the whole directory that each end record near the end of
// the archive points at (each one it finds, to choose the best), at some
// 340 bytes a file: count what it would take in before it does. False when
// more than kMostEntries files or kMostDirectoryBytes would be.
bool DirectoryWithinBounds(zip_source_t* source, std::uint64_t size) {
    SourceWindow window(source);
    const std::uint64_t tailStart = size > kTailSize ? size - kTailSize : 0;
    std::string tail;
    for (std::uint64_t at = tailStart; at < size; at += 64 * 1024) {
        tail +=
            window.At(at, static_cast<std::size_t>(std::min<std::uint64_t>(size - at, 64 * 1024)));
    }
    std::uint64_t entries = 0, bytes = 0;
    for (std::size_t end = tail.find(kEndMagic);
         end != std::string::npos && end + kEndSize <= tail.size();
         end = tail.find(kEndMagic, end + 1)) {
        std::uint64_t directorySize = Little(&tail[end + 12], 4);
        std::uint64_t directoryOffset = Little(&tail[end + 16], 4);
        if (end >= kEnd64LocatorSize &&
            tail.compare(end - kEnd64LocatorSize, 4, kEnd64LocatorMagic) == 0) {
            const std::string_view end64 =
                window.At(Little(&tail[end - kEnd64LocatorSize + 8], 8), kEnd64Size);
            if (end64.size() < kEnd64Size || !end64.starts_with(kEnd64Magic)) {
                continue;  // libzip refuses it as it stands
            }
            directorySize = Little(&end64[40], 8);
            directoryOffset = Little(&end64[48], 8);
        }
        if (directoryOffset > size || directorySize > size - directoryOffset) {
            continue;
        }
        bytes += directorySize;
        if (bytes > ZipArchive::kMostDirectoryBytes) {
            return false;
        }
        // Each file takes a record of at least 46 bytes: only a directory
        // that may hold more files than allowed needs counting.
        if (directorySize / kEntrySize + entries <= ZipArchive::kMostEntries) {
            entries += directorySize / kEntrySize;
            continue;
        }
        for (std::uint64_t at = directoryOffset;
             at + kEntrySize <= directoryOffset + directorySize;) {
            const std::string_view record = window.At(at, kEntrySize);
            if (!record.starts_with(kEntryMagic)) {
                break;
            }
            if (++entries > ZipArchive::kMostEntries) {
                return false;
            }
            at += kEntrySize + Little(&record[28], 2) + Little(&record[30], 2) +
                  Little(&record[32], 2);
        }
    }
    return true;
}

Problem Unreadable(zip_error_t& error) {
    Problem problem(ProblemCode::ZipUnreadable, {}, zip_error_strerror(&error));
    zip_error_fini(&error);
    return problem;
}

std::string NameText(std::string_view raw) {
    return IsUtf8(raw) ? std::string(raw) : Cp936ToUtf8(raw);
}

}  // namespace

Result<std::unique_ptr<ZipArchive>> ZipArchive::Open(const std::filesystem::path& path) {
    zip_error_t error;
    zip_error_init(&error);
    // UTF-8, which libzip turns into the wide name on Windows.
    zip_source_t* source = zip_source_file_create(PathText(path).c_str(), 0, -1, &error);
    if (source == nullptr) {
        return Unreadable(error);
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_open(source) < 0) {
        Problem problem(ProblemCode::ZipUnreadable, {},
                        zip_error_strerror(zip_source_error(source)));
        zip_source_free(source);
        zip_error_fini(&error);
        return problem;
    }
    const bool sized = zip_source_stat(source, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) != 0;
    const bool bounded = sized && DirectoryWithinBounds(source, stat.size);
    zip_source_close(source);
    if (sized && !bounded) {
        zip_source_free(source);
        zip_error_fini(&error);
        return Problem(ProblemCode::ZipDirectoryTooLarge,
                       {std::to_string(kMostEntries), std::to_string(kMostDirectoryBytes >> 20)});
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (archive == nullptr) {
        zip_source_free(source);
        return Unreadable(error);
    }
    zip_error_fini(&error);
    return std::unique_ptr<ZipArchive>(new ZipArchive(archive, sized ? stat.size : 0));
}

ZipArchive::~ZipArchive() {
    zip_discard(m_zip);
}

std::vector<ZipEntry> ZipArchive::Entries() {
    std::lock_guard lock(m_mutex);
    std::vector<ZipEntry> entries;
    const zip_int64_t count = zip_get_num_entries(m_zip, 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t stat;
        if (zip_stat_index(m_zip, static_cast<zip_uint64_t>(index), ZIP_FL_ENC_RAW, &stat) != 0 ||
            (stat.valid & ZIP_STAT_NAME) == 0) {
            continue;
        }
        const std::string_view raw = stat.name;
        if (raw.empty() || raw.back() == '/') {
            continue;  // a folder
        }
        entries.push_back({static_cast<std::uint64_t>(index), NameText(raw),
                           (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0});
    }
    return entries;
}

}  // namespace strivo
