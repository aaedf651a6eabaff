#include "files/ZipArchiveShare.h"

namespace strivo {

Result<std::shared_ptr<ZipArchive>> ZipArchiveShare::Acquire() {
    std::lock_guard lock(m_mutex);
    if (!m_open) {
        Result<std::unique_ptr<ZipArchive>> opened = ZipArchive::Open(m_path);
        if (!opened) {
            return opened.problem();
        }
        m_open = std::move(*opened);
    }
    return m_open;
}

void ZipArchiveShare::Release() {
    std::lock_guard lock(m_mutex);
    if (m_unread > 0) {
        --m_unread;
    }
    if (m_unread == 0) {
        m_open.reset();
    }
}

}  // namespace strivo
