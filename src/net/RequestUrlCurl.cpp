#include "net/RequestUrlCurl.h"

#include <curl/curl.h>

#include <memory>

#include "net/GlobalCurl.h"

namespace strivo {
namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

std::optional<std::string> GetPart(CURLU* url, CURLUPart part, unsigned flags) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, flags) != CURLUE_OK) {
        return std::nullopt;
    }
    std::unique_ptr<char, TextDeleter> text(raw);
    return std::string(text.get());
}

}  // namespace

std::optional<std::string> RequestUrl(std::string_view url, bool secure) {
    if (!EnsureCurlReady()) {
        return std::nullopt;
    }
    std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    const std::string text(url);
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    const auto scheme = GetPart(parsed.get(), CURLUPART_SCHEME, 0);
    if (!scheme || (*scheme != "http" && *scheme != "https")) {
        return std::nullopt;
    }
    const auto port = GetPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (!port ||
        curl_url_set(parsed.get(), CURLUPART_SCHEME, secure ? "https" : "http", 0) != CURLUE_OK ||
        curl_url_set(parsed.get(), CURLUPART_PORT, port->c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    return GetPart(parsed.get(), CURLUPART_URL, CURLU_NO_DEFAULT_PORT);
}

}  // namespace strivo
