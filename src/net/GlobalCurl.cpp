#include "net/GlobalCurl.h"

#include <curl/curl.h>

namespace strivo {

bool EnsureCurlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

}  // namespace strivo
