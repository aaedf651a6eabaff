#include "Json.h"

#include <cstdio>

#include "text/CodePage.h"

namespace strivo::sim {

std::string JsonString(std::string_view cp936) {
    const std::string utf8 = Cp936ToUtf8(cp936);
    std::string out;
    out.reserve(utf8.size() + 2);
    out.push_back('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

std::string RequestsJson(const std::vector<LoggedRequest>& requests) {
    std::string out = "[";
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const LoggedRequest& request = requests[i];
        out += i == 0 ? "\n" : ",\n";
        out += "{\"method\":" + JsonString(request.method) +
               ",\"path\":" + JsonString(request.path) + ",\"query\":" + JsonString(request.query) +
               ",\"headers\":[";
        for (std::size_t h = 0; h < request.headers.size(); ++h) {
            out += h == 0 ? "[" : ",[";
            out += JsonString(request.headers[h].first) + "," +
                   JsonString(request.headers[h].second) + "]";
        }
        out += "],\"body\":" + JsonString(request.body) +
               ",\"status\":" + std::to_string(request.status) +
               ",\"secure\":" + (request.secure ? "true" : "false") +
               ",\"remotePort\":" + std::to_string(request.remotePort) + "}";
    }
    out += "\n]\n";
    return out;
}

}  // namespace strivo::sim
