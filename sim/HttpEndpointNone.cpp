// HttpEndpoint for a build without cpp-httplib (MinGW): nothing listens. A
// port number still names each endpoint, so that the in-process transport
// finds its routes by the URL a client builds from the settings.

#include <atomic>

#include "HttpEndpoint.h"

// Never made here; complete only so that the endpoint's members can go.
namespace httplib {
class Server {};
}  // namespace httplib

namespace strivo::sim {

HttpEndpoint::HttpEndpoint(const Routes& routes, const TlsCertificate* certificate)
    : m_routes(routes), m_certificate(certificate) {}

HttpEndpoint::~HttpEndpoint() = default;

void HttpEndpoint::Start(int port) {
    // Numbers no other endpoint of the process holds.
    static std::atomic<int> next{49152};
    if (m_port == 0) {
        m_port = port != 0 ? port : next++;
    }
}

void HttpEndpoint::Stop() {}

}  // namespace strivo::sim
