// The Nike+ sign-in over TLS, one new session (so a new connection and a full
// handshake) per sign-in, as each download makes it: the first sign-in of
// the process, and the later ones. The anchor is curl trusting only the
// stand-in's certificate (--cacert): its TCP and TLS handshake
// (time_appconnect) and its whole sign-in request (time_total), each a
// median over fresh curl processes run between Strivo's sign-ins.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "../support/Shell.h"
#include "../support/StandInProcess.h"
#include "net/WebSession.h"
#include "settings/Settings.h"
#include "text/TextHelpers.h"

namespace {

using strivo::bench::Median;

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 21;
constexpr double kTarget = 1.2;

std::string SignInPath(const strivo::Settings& settings) {
    return "/nikeplus/v1/services/widget/generate_pin.jsp?login=" +
           strivo::PercentEncode(settings.serviceUser) +
           "&password=" + strivo::PercentEncode(settings.servicePassword);
}

// Seconds of one sign-in in a session of its own; negative when it failed.
double SignIn(const strivo::Settings& settings) {
    const auto start = Clock::now();
    strivo::WebSessionConfig config;
    config.caFile = settings.serviceCaFile;
    config.cookies = strivo::MakeCookieStore();
    strivo::WebSession session(config);
    if (!session.OpenSession().ok()) {
        return -1;
    }
    const strivo::HttpResult answer = session.HttpGet(
        strivo::ServiceUrl(settings, SignInPath(settings)), strivo::kSecureRequestOptions);
    const bool signedIn = answer.Text().find("success") != std::string::npos;
    session.CloseAll();
    return signedIn ? std::chrono::duration<double>(Clock::now() - start).count() : -1;
}

// curl's handshake and whole request, in seconds.
bool CurlSignIn(const strivo::Settings& settings, double& handshake, double& total) {
    const std::string host = "localhost:" + std::to_string(settings.serviceHttpsPort);
    const std::string command = "curl -s -o /dev/null --cacert '" + settings.serviceCaFile +
                                "' --resolve " + host +
                                ":127.0.0.1 -w '%{time_appconnect} %{time_total}' 'https://" +
                                host + SignInPath(settings) + "'";
    bool read = false;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        read = std::fscanf(pipe, "%lf %lf", &handshake, &total) == 2;
        ::pclose(pipe);
    }
    return read && handshake > 0;
}

}  // namespace

int main() {
    strivo::test::TempFolder folder;
    strivo::bench::StandInProcess standIns(24, folder.path());
    const strivo::Settings& settings = standIns.settings();

    const double first = SignIn(settings);
    std::vector<double> later, curlHandshakes, curlTotals;
    for (int round = 0; round < kRounds; ++round) {
        double handshake = 0, total = 0;
        if (!CurlSignIn(settings, handshake, total)) {
            std::fprintf(stderr, "curl could not sign in\n");
            return 1;
        }
        curlHandshakes.push_back(handshake);
        curlTotals.push_back(total);
        later.push_back(SignIn(settings));
        if (later.back() < 0 || first < 0) {
            std::fprintf(stderr, "Strivo could not sign in\n");
            return 1;
        }
    }
    const double strivo = Median(later);
    const double anchor = Median(curlHandshakes);
    std::printf("sign-in over TLS, a new session each, median of %d\n", kRounds);
    std::printf("strivo, first sign-in of the process: %7.2f ms\n", first * 1e3);
    std::printf("strivo, later sign-ins:               %7.2f ms\n", strivo * 1e3);
    std::printf("curl --cacert, TCP and TLS handshake: %7.2f ms\n", anchor * 1e3);
    std::printf("curl --cacert, whole sign-in request: %7.2f ms\n", Median(curlTotals) * 1e3);
    std::printf("ratio later sign-in/curl handshake: %.2f (target at most %.1f)\n", strivo / anchor,
                kTarget);
    return 0;
}
