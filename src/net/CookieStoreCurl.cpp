#include "net/CookieStoreCurl.h"

#include <new>

#include "net/GlobalCurl.h"
#include "net/WebSession.h"

namespace strivo {

CookieStore::CookieStore() {
    if (!EnsureCurlReady()) {
        throw std::bad_alloc();
    }
    m_share.reset(curl_share_init());
    if (!m_share) {
        throw std::bad_alloc();
    }
    CURLSH* share = m_share.get();
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &CookieStore::Lock);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &CookieStore::Unlock);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
}

void CookieStore::Lock(CURL* /*easy*/, curl_lock_data data, curl_lock_access /*access*/,
                       void* self) {
    static_cast<CookieStore*>(self)->m_locks[static_cast<std::size_t>(data)].lock();
}

void CookieStore::Unlock(CURL* /*easy*/, curl_lock_data data, void* self) {
    static_cast<CookieStore*>(self)->m_locks[static_cast<std::size_t>(data)].unlock();
}

std::shared_ptr<CookieStore> ProcessCookieStore() {
    // Never destroyed: a worker thread may still hold a session while statics go away.
    static const auto* const store = new std::shared_ptr<CookieStore>(MakeCookieStore());
    return *store;
}

std::shared_ptr<CookieStore> MakeCookieStore() {
    return std::make_shared<CookieStore>();
}

}  // namespace strivo
