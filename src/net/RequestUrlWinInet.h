#pragma once

// windows.h comes before every other Windows header.
#include <windows.h>

#include <wininet.h>

#include <optional>
#include <string>

// What WinINet makes of the URLs of a request and of its redirects.
namespace strivo {

struct WinInetUrl {
    bool secureScheme = false;
    std::string host;
    INTERNET_PORT port = 0;
    std::string object;  // path and query
};

// The parts of an http or https URL with a host; none for any other.
std::optional<WinInetUrl> CrackUrl(const std::string& text);

// `location` made absolute against `base`.
std::optional<std::string> Resolve(const std::string& base, const std::string& location);

}  // namespace strivo
