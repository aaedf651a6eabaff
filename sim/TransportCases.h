#pragma once

#include <ostream>
#include <string>

// strivo-sim --transport-cases: the servers of the transport suite
// (tests/net/WebSessionTest.cpp), for whichever transport runs it.
namespace strivo::sim {

// Starts every case's server on 127.0.0.1, writes the trusted TLS server's
// certificate (a CA for "localhost") to `caFile`, announces one
// "name_port=N" line per server on `out`, then "ready", and serves until the
// process ends. Throws std::runtime_error when a server cannot start.
[[noreturn]] void ServeTransportCases(const std::string& caFile, std::ostream& out);

}  // namespace strivo::sim
