#pragma once

#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "net/WebSession.h"

namespace strivo {

class BodyLineReader;

struct TransferRequest {
    std::string_view url;    // http or https, no zero byte; its scheme gives only the default port
    RequestOptions options;  // a secure request is redirected to https only
    const std::string_view* form = nullptr;  // a POST body; null for GET
    std::vector<std::string> headers;        // in the order they are sent
};

struct TransferOutcome {
    TransferError error = TransferError::None;
    long status = 0;           // final status; 0 when no answer arrived
    long redirects = 0;        // redirects followed before the outcome
    bool requestSent = false;  // a POST went out whole: the server may have acted on it
    std::string detail;        // the transport's own words on a failure, if it has any
};

// The errors whose kind alone is not enough to act on: the transport adds its
// own words in `detail`.
inline bool NeedsDetail(TransferError error) {
    return error == TransferError::Untrusted || error == TransferError::WrongHost ||
           error == TransferError::Tls || error == TransferError::Other;
}

// What carries a session's requests: one connection pool, driven on the
// session's thread. Perform writes a 2xx body into `body` as it arrives, and
// never sends a POST a second time, not even on a kept-alive connection that
// turns out to be dead: the server may have acted on the first. Wake, from
// any thread, makes a Perform in flight look at its stop token at once.
class Transport {
public:
    virtual ~Transport() = default;
    virtual TransferOutcome Perform(const TransferRequest& request, std::stop_token stop,
                                    BodyLineReader& body) = 0;
    virtual void Wake() = 0;
};

// The platform's transport, trusting `config`'s extra CAs besides the
// system's. Null when it cannot be made; then `why` holds the error
// (CertificateFile when the extra CAs cannot be read) and its detail.
std::unique_ptr<Transport> MakeTransport(const WebSessionConfig& config, TransferOutcome& why);

}  // namespace strivo
