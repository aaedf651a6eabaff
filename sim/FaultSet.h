#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace strivo::sim {

// Something a stand-in does wrong on purpose. A fault applies to the requests
// whose path equals `path` ("/runlogger.php"); a `path` holding "?" must equal
// path and query ("/logging.php?action=login"); "*" matches every request.
// Each fault counts the requests it matches from the moment it is added and
// acts on the `onRequest`-th of them only (1-based), or on every one for 0.
// When it acts, in this order:
//   delay         the answer waits this long (Stop() cuts the wait short);
//   status        the answer is this status with a short HTML body, and the
//                 request is not handled: no sign-in, no stored entry;
//   retryAfter    the answer carries this Retry-After header (with `status`,
//                 a 429 or 503 that asks the client to wait);
//   bodySize      the body is padded (inside a trailing comment, no line
//                 feed) or cut to exactly this many bytes;
//   cutAfterBytes the body ends after this many bytes, as a complete answer
//                 with a matching Content-Length;
//   closeMidBody  the headers announce the whole body, half of it is sent and
//                 the connection is closed;
//   redirectLoop  the answer is 302 back to the same URL, and the request is
//                 not handled (a client following redirects never gets out);
//   drop          the request is read and handled (a post is stored), then
//                 the connection is closed without an answer;
//   drip          the body goes out one byte at a time, this long apart;
//   endless       the body never ends: filler follows it for ever.
// When several faults act on one request, delays add up, the first status
// wins, the smallest cut and the last size apply.
struct Fault {
    std::string path;
    int onRequest = 0;
    int status = 0;
    std::chrono::milliseconds delay{0};
    bool closeMidBody = false;
    std::size_t cutAfterBytes = 0;
    std::size_t bodySize = 0;
    bool redirectLoop = false;
    std::string location;
    std::string retryAfter;
    bool signInPage = false;
    bool drop = false;
    std::chrono::milliseconds drip{0};
    bool endless = false;
};

// The flag form of a fault, as strivo-sim takes it:
//   PATH[,on=K][,status=N][,delay=MS][,close][,cut=M][,size=N][,redirect]
//       [,location=URL][,retry-after=VALUE][,signin-page][,drop][,drip=MS][,endless]
// e.g. "/nikeplus/v1/services/app/run_list.jsp,cut=300" or "*,delay=250".
// Throws std::invalid_argument when a piece is unknown or no action is given.
Fault ParseFault(std::string_view text);

// The faults of one stand-in, with a request count per fault. Any thread.
class FaultSet {
public:
    void Add(Fault fault);

    // Counts the request against every matching fault and returns what the
    // ones due now ask for, combined (rules above), without path or count.
    Fault Take(std::string_view path, std::string_view query);

private:
    struct Counted {
        Fault fault;
        int seen = 0;
    };

    std::mutex m_mutex;
    std::vector<Counted> m_faults;
};

}  // namespace strivo::sim
