#include "files/ZipEntrySource.h"

#include <zip.h>
#include <zlib.h>

#include <climits>

namespace strivo {
namespace {

constexpr std::size_t kInputSize = 64 * 1024;

}  // namespace

ZipEntrySource::ZipEntrySource(ZipArchive& archive, const ZipEntry& entry)
    : m_archive(archive), m_left(entry.size) {
    std::lock_guard lock(archive.m_mutex);
    zip_stat_t stat;
    if (zip_stat_index(archive.m_zip, entry.index, 0, &stat) != 0) {
        Fail(zip_strerror(archive.m_zip));
        return;
    }
    int refused = ZIP_ER_OK;
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
        refused = ZIP_ER_ENCRNOTSUPP;
    } else if (!(stat.valid & ZIP_STAT_COMP_METHOD) ||
               (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE)) {
        refused = ZIP_ER_COMPNOTSUPP;
    }
    if (refused != ZIP_ER_OK) {
        FailWith(refused);
        return;
    }
    m_declaredCrc = (stat.valid & ZIP_STAT_CRC) ? stat.crc : 0;
    // An empty entry comes as no bytes at all, whatever its method says.
    if (stat.comp_method == ZIP_CM_DEFLATE && (stat.valid & ZIP_STAT_COMP_SIZE) &&
        stat.comp_size > 0) {
        m_stream = std::make_unique<z_stream_s>();
        m_input = std::make_unique<char[]>(kInputSize);
        if (inflateInit2(m_stream.get(), -MAX_WBITS) != Z_OK) {
            m_stream.reset();
            FailWith(ZIP_ER_MEMORY);
            return;
        }
    }
    // As it lies in the archive: inflated below, outside the lock.
    m_file = zip_fopen_index(archive.m_zip, entry.index, ZIP_FL_COMPRESSED);
    if (m_file == nullptr) {
        Fail(zip_strerror(archive.m_zip));
    }
}

ZipEntrySource::~ZipEntrySource() {
    if (m_stream) {
        inflateEnd(m_stream.get());
    }
    if (m_file != nullptr) {
        std::lock_guard lock(m_archive.m_mutex);
        zip_fclose(m_file);
    }
}

void ZipEntrySource::FailWith(int libzipError, int systemError) {
    zip_error_t error;
    zip_error_init(&error);
    zip_error_set(&error, libzipError, systemError);
    Fail(zip_error_strerror(&error));
    zip_error_fini(&error);
}

void ZipEntrySource::Fail(const char* words) {
    m_status = Problem(ProblemCode::ZipEntryUnreadable, {}, words);
    m_ended = true;
}

// The only part of reading that calls into libzip once the entry is open.
std::int64_t ZipEntrySource::ReadStored(char* into, std::size_t room) {
    std::lock_guard lock(m_archive.m_mutex);
    const zip_int64_t got = zip_fread(m_file, into, room);
    if (got < 0) {
        Fail(zip_file_strerror(m_file));
    }
    return got;
}

std::size_t ZipEntrySource::Inflate(char* into, std::size_t room, bool& ended) {
    z_stream_s& stream = *m_stream;
    stream.next_out = reinterpret_cast<Bytef*>(into);
    stream.avail_out = static_cast<uInt>(room < UINT_MAX ? room : UINT_MAX);
    const uInt asked = stream.avail_out;
    while (stream.avail_out == asked) {
        if (stream.avail_in == 0 && !m_storedEnded) {
            const std::int64_t got = ReadStored(m_input.get(), kInputSize);
            if (got < 0) {
                return 0;
            }
            m_storedEnded = got == 0;
            stream.next_in = reinterpret_cast<Bytef*>(m_input.get());
            stream.avail_in = static_cast<uInt>(got);
        }
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            ended = true;  // what follows in the entry's bytes is not read, as libzip does
            break;
        }
        if (status == Z_BUF_ERROR && stream.avail_in == 0) {
            if (m_storedEnded) {
                FailWith(ZIP_ER_EOF);  // the deflated data stops short
                return 0;
            }
            continue;
        }
        if (status != Z_OK) {
            FailWith(ZIP_ER_ZLIB, status);
            return 0;
        }
    }
    return asked - stream.avail_out;
}

std::size_t ZipEntrySource::Read(char* into, std::size_t room) {
    if (m_ended || room == 0) {
        return 0;
    }
    // One byte past what is left shows an entry that holds more than it says.
    const std::size_t asked = m_left < room ? static_cast<std::size_t>(m_left) + 1 : room;
    bool ended = false;
    std::size_t got = 0;
    if (m_stream) {
        got = Inflate(into, asked, ended);
    } else {
        const std::int64_t stored = ReadStored(into, asked);
        got = stored > 0 ? static_cast<std::size_t>(stored) : 0;
        ended = stored == 0;
    }
    if (m_ended) {
        return 0;
    }
    if (got > m_left) {
        FailWith(ZIP_ER_INCONS);  // more bytes than it says
        return 0;
    }
    m_left -= got;
    m_crc = static_cast<std::uint32_t>(
        crc32_z(m_crc, reinterpret_cast<const Bytef*>(into), static_cast<z_size_t>(got)));
    if (ended) {
        if (m_left > 0) {
            FailWith(ZIP_ER_INCONS);  // fewer bytes than it says
            return 0;
        }
        if (m_crc != m_declaredCrc) {
            FailWith(ZIP_ER_CRC);
            return 0;
        }
        m_ended = true;
    }
    return got;
}

void ZipEntrySource::Finish() {
    char rest[16 * 1024];
    while (Read(rest, sizeof rest) > 0) {
    }
}

}  // namespace strivo
