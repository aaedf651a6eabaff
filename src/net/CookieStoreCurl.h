#pragma once

#include <curl/curl.h>

#include <array>
#include <memory>
#include <mutex>

namespace strivo {

struct CurlShareDeleter {
    void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
using CurlShare = std::unique_ptr<CURLSH, CurlShareDeleter>;

// A libcurl share handle that gives every session holding it one in-memory
// cookie store and one DNS cache. Connections and TLS sessions are not shared:
// libcurl 7.88 cannot share them safely between threads, and each session keeps
// its own connections anyway. Any thread may use the handle at any time.
class CookieStore {
public:
    CookieStore();  // throws std::bad_alloc when libcurl cannot make the handle
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    CURLSH* Handle() const { return m_share.get(); }

private:
    static void Lock(CURL* easy, curl_lock_data data, curl_lock_access access, void* self);
    static void Unlock(CURL* easy, curl_lock_data data, void* self);

    // One per kind of data, libcurl's own share bookkeeping included; declared
    // before the handle, whose clean-up still takes them.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_locks;
    CurlShare m_share;
};

}  // namespace strivo
