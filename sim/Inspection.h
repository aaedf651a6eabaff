#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What tests see of a stand-in's traffic. Shared by RunService and Site.
namespace strivo::sim {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as it reached a stand-in. Path and query are the bytes of the
// request line, not decoded; headers come sorted by name (case-insensitive),
// not in the order sent.
struct LoggedRequest {
    std::string method;
    std::string path;
    std::string query;  // after "?", empty when there was none
    HeaderList headers;
    std::string body;
    int status = 0;       // the status answered, faults included; 0 for none
    bool secure = false;  // came over TLS
    int remotePort = 0;   // the client's port: requests with one port shared one connection
};

}  // namespace strivo::sim
