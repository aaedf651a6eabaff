#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>

#include "files/ZipArchive.h"
#include "model/Result.h"

namespace strivo {

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
