#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace strivo {

// The URL a request really goes to. The workers' URLs name http or https, but
// only the request options choose TLS: the scheme of `url` gives the default
// port (80 for http, 443 for https) and `secure` gives the scheme sent, so
// "https://host/x" asked for without TLS goes to "http://host:443/x". Empty
// when `url` is not an http or https URL.
std::optional<std::string> RequestUrl(std::string_view url, bool secure);

}  // namespace strivo
