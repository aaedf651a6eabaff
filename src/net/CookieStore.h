#pragma once

#include <curl/curl.h>

#include <array>
#include <mutex>

namespace strivo {

// A libcurl share handle that gives every session holding it one in-memory
// cookie store and one DNS cache. Connections and TLS sessions are not shared:
// libcurl 7.88 cannot share them safely between threads, and each session keeps
// its own connections anyway. Any thread may use the handle at any time.
class CookieStore {
public:
    CookieStore();  // throws std::bad_alloc when libcurl cannot make the handle
    ~CookieStore();
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    CURLSH* Handle() const { return m_share; }

private:
    static void Lock(CURL* easy, curl_lock_data data, curl_lock_access access, void* self);
    static void Unlock(CURL* easy, curl_lock_data data, void* self);

    CURLSH* m_share = nullptr;
    // One per kind of data, libcurl's own share bookkeeping included.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_locks;
};

}  // namespace strivo
