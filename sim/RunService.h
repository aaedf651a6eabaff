#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Accounts.h"
#include "StandIn.h"

// A stand-in for the Nike+ run service, on 127.0.0.1:
//
//   HTTPS port (certificate made at start-up, see certificatePem()):
//     GET /nikeplus/v1/services/widget/generate_pin.jsp?login=L&password=P
//         L and P are decoded like any query ("%XX", "+") and compared byte for
//         byte. Right: 200, <status>success</status> and the cookie
//         "nikeplus_session" (Path=/; HttpOnly). Wrong: 200,
//         <status>failure</status>, no cookie.
//     GET /nikeplus/v1/services/app/get_user_data.jsp
//         With the cookie: 200, UTF-8 XML whose first CDATA section is the
//         screen name with blanks around it, and <totalDistance> (km, four
//         decimals), <totalDuration> (ms) and <totalCalories>, the sums over
//         the runs.
//     GET /nikeplus/v1/services/app/run_list.jsp
//         With the cookie: 200, <status>success</status> and one
//         <run id="…" workoutType="…"> … </run> per run, in the account's
//         order: startTime, distance (four decimals), duration (ms),
//         syncTime, calories, and elements clients ignore. In the Compact
//         form, without those elements, a run a line; in the Bare form, each
//         run's id and distance alone, a run a line (a million runs within
//         the 64 MiB a client takes of a body); with
//         `runLists` above 1, the runs are split into that many lists of
//         nearly equal size, served in turn, the first again after the last
//         (a benchmark's big lists, each new to a client's store).
//   plain HTTP port: the account data too, as older clients asked for it.
//
// Without the cookie every data request gets 200 and <status>failure</status>
// with no data. No failure body holds the word "success" anywhere, since
// clients look for it in the whole body. The sign-in and the run list are
// served on the HTTPS port only; the other port answers 404. With
// `inspection`, the plain port also serves /__sim/requests, /__sim/sessions
// and /__sim/account as JSON.
namespace strivo::sim {

class Routes;

enum class RunListForm { Full, Compact, Bare };

inline constexpr std::string_view kServiceSessionCookie = "nikeplus_session";

struct RunServiceOptions : StandInOptions {
    int httpsPort = 0;  // 0: an ephemeral port
    int httpPort = 0;
    // The names its certificate is made for: clients check the host they ask.
    std::vector<std::string> certificateNames{"localhost", "127.0.0.1", "::1"};
    RunListForm runListForm = RunListForm::Full;
    int runLists = 1;
};

// Requests of both ports are logged together (`secure` tells them apart).
class RunService : public StandIn {
public:
    // Makes the TLS certificate at once; nothing listens before Start().
    explicit RunService(ServiceAccount account, RunServiceOptions options = {});
    ~RunService();

    RunService(const RunService&) = delete;
    RunService& operator=(const RunService&) = delete;

    // Binds both ports; throws std::runtime_error when one cannot be bound.
    void Start();
    // Closes both ports and their connections; harmless when not started.
    void Stop();

    int httpsPort() const;
    int httpPort() const;
    // The PEM of the certificate the HTTPS port presents, for the client's
    // trusted authorities (its subject and DNS name are "localhost").
    const std::string& certificatePem() const;
    const ServiceAccount& account() const;
    // The routes served on `port` once started, or null: what the in-process
    // transport hands its requests to.
    const Routes* RoutesAt(int port) const;

    // Values of the session cookies handed out, oldest first.
    std::vector<std::string> sessions() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace strivo::sim
