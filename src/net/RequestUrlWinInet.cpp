#include "net/RequestUrlWinInet.h"

namespace strivo {

std::optional<WinInetUrl> CrackUrl(const std::string& text) {
    char host[INTERNET_MAX_HOST_NAME_LENGTH] = {};
    std::string path(text.size() + 1, '\0');
    std::string extra(text.size() + 1, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlA(text.c_str(), static_cast<DWORD>(text.size()), 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
        host[0] == '\0') {
        return std::nullopt;
    }
    WinInetUrl url;
    url.secureScheme = parts.nScheme == INTERNET_SCHEME_HTTPS;
    url.host = host;
    url.port = parts.nPort;
    url.object = std::string(path.c_str()) + extra.c_str();
    if (url.object.empty()) {
        url.object = "/";
    }
    return url;
}

std::optional<std::string> Resolve(const std::string& base, const std::string& location) {
    std::string combined(base.size() + location.size() + 64, '\0');
    DWORD size = static_cast<DWORD>(combined.size());
    if (!InternetCombineUrlA(base.c_str(), location.c_str(), combined.data(), &size,
                             ICU_NO_ENCODE)) {
        return std::nullopt;
    }
    combined.resize(size);
    return combined;
}

}  // namespace strivo
