#pragma once

#include <memory>
#include <stop_token>

#include "net/Transport.h"

namespace strivo::sim {

struct StandIns;

// A transport with no socket: each request goes straight to the routes of the
// stand-in whose port its URL names, in this process, and the answer comes
// back as a server's would, cookies and redirects included. It reaches the
// stand-ins only, so it needs no trust in any certificate; it is what the
// demo runs on where the stand-ins cannot listen with TLS (Windows).
//
// Makes such transports for WebSessionConfig::makeTransport. Every transport
// one maker makes shares one cookie jar, as a process's sessions share theirs.
// The stand-ins outlive the maker and its transports.
WebSessionConfig::TransportMaker InProcessTransports(const StandIns& standIns);

}  // namespace strivo::sim
