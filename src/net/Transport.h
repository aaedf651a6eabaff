#pragma once

#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "net/Transfer.h"

namespace strivo {

class BodyLineReader;

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

// A transport, or why none could be made.
struct MadeTransport {
    std::unique_ptr<Transport> transport;  // null when it cannot be made
    Problem problem;                       // then why
};

// The platform's transport, trusting `config`'s extra CAs besides the system's.
MadeTransport MakeTransport(const WebSessionConfig& config);

}  // namespace strivo
