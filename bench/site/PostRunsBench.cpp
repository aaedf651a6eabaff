// Posting 1,000 runs to the community-site stand-in: the site worker against
// the curl command-line tool posting the same bodies over one kept-alive
// connection to the same stand-in. Prints both rates and their ratio.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <string>

#include "../support/Shell.h"
#include "io/RunText.h"
#include "jobs/Sync.h"
#include "model/RunTable.h"
#include "sim/Site.h"
#include "site/RunLogForm.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace {

using strivo::bench::CurlQuoted;
using strivo::bench::Output;

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 1000;

class NoProgress : public strivo::ProgressSink {
public:
    void Post(strivo::ProgressReport) override {}
};

std::vector<strivo::Run> MakeRows() {
    std::vector<strivo::Run> rows;
    for (int i = 1; i <= kRuns; ++i) {
        rows.push_back(strivo::ServiceRun(std::to_string(1100000000 + i),
                                          {"2010-04-20T06:30:15+08:00", "5.0123", "1510000", "350",
                                           "2010-04-20T08:00:00+08:00"}));
    }
    return rows;
}

}  // namespace

int main() {
    strivo::sim::Site site(strivo::sim::DemoSiteAccount());
    site.Start();
    const std::string base = "http://127.0.0.1:" + std::to_string(site.port());
    const std::vector<strivo::Run> rows = MakeRows();

    // Strivo: the site worker signs in (three requests) and posts every row.
    auto table = std::make_shared<strivo::RunTable>();
    table->Replace(rows);
    NoProgress progress;
    strivo::Settings settings;
    settings.siteUser = site.account().user;
    settings.sitePassword = site.account().password;
    settings.siteHost = "127.0.0.1";
    settings.sitePort = site.port();
    strivo::WebSessionConfig config;
    config.cookies = strivo::MakeCookieStore();
    const strivo::jobs::Workspace where = *strivo::jobs::InMemory(settings, config);
    const auto strivoStart = Clock::now();
    strivo::jobs::Sync(where, table->Snapshot(), progress);
    const double strivoSeconds = std::chrono::duration<double>(Clock::now() - strivoStart).count();
    if (site.entries().size() != kRuns) {
        std::cerr << "the site worker did not post every run\n";
        return 1;
    }

    // curl: sign in with a cookie jar, then one invocation posting all bodies.
    char folderPattern[] = "/tmp/strivo-bench-XXXXXX";
    const std::string folder = ::mkdtemp(folderPattern);
    const std::string jar = folder + "/cookies";
    const std::string form =
        Output("curl -s -c " + jar + " '" + base + "/logging.php?action=login'");
    const std::string token = strivo::TextBetween(form, "formhash\" value=\"", "\"");
    {
        std::ofstream signIn(folder + "/signin");
        signIn << strivo::BuildSignInBody(token, "2592000", site.account().user,
                                          site.account().password);
    }
    Output("curl -s -b " + jar + " -c " + jar + " --data-binary @" + folder + "/signin '" + base +
           "/logging.php?action=login&loginsubmit=true' -o /dev/null");

    const std::string& description = strivo::EncodedRunLogDescription();
    {
        std::ofstream curlConfig(folder + "/posts");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (i > 0)
                curlConfig << "next\n";
            curlConfig << "url = " << CurlQuoted(base + "/runlogger.php?action=deal_add") << "\n"
                       << "data-binary = "
                       << CurlQuoted(strivo::BuildRunLogBody(token, rows[i], description)) << "\n"
                       << "header = \"Content-Type: application/x-www-form-urlencoded\"\n"
                       << "cookie = " << CurlQuoted(jar) << "\n"
                       << "output = \"/dev/null\"\n";
        }
    }
    const auto curlStart = Clock::now();
    Output("curl -s -K " + folder + "/posts");
    const double curlSeconds = std::chrono::duration<double>(Clock::now() - curlStart).count();
    std::system(("rm -rf " + folder).c_str());
    if (site.entries().size() != 2 * kRuns) {
        std::cerr << "curl did not post every run (" << site.entries().size() - kRuns << ")\n";
        return 1;
    }

    // Connections used: each request logs the client's port.
    std::set<int> strivoPorts, curlPorts;
    int posts = 0;
    for (const auto& request : site.requests()) {
        if (request.path == "/runlogger.php") {
            (posts++ < kRuns ? strivoPorts : curlPorts).insert(request.remotePort);
        }
    }

    const double strivoRate = kRuns / strivoSeconds;
    const double curlRate = kRuns / curlSeconds;
    std::printf("strivo: %d runs in %.3f s, %.0f posts/s, %zu connection(s)\n", kRuns,
                strivoSeconds, strivoRate, strivoPorts.size());
    std::printf("curl:   %d runs in %.3f s, %.0f posts/s, %zu connection(s)\n", kRuns, curlSeconds,
                curlRate, curlPorts.size());
    std::printf("ratio strivo/curl: %.2f (target at least 0.80)\n", strivoRate / curlRate);
    return 0;
}
