#include "RunService.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <random>
#include <span>

#include "HttpEndpoint.h"
#include "Json.h"
#include "RequestParsing.h"
#include "TlsCertificate.h"
#include "text/CodePage.h"

namespace strivo::sim {
namespace {

constexpr const char* kSignInPath = "/nikeplus/v1/services/widget/generate_pin.jsp";
constexpr const char* kUserDataPath = "/nikeplus/v1/services/app/get_user_data.jsp";
constexpr const char* kRunListPath = "/nikeplus/v1/services/app/run_list.jsp";
constexpr const char* kXmlType = "text/xml; charset=UTF-8";
constexpr const char* kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// The word "success" must appear nowhere in here, not even inside another word.
Reply Failure(std::string_view errorCode, std::string_view message) {
    return Reply{200,
                 kXmlType,
                 std::string(kXmlDeclaration) + "<plusService>\n<status>failure</status>\n" +
                     "<serviceException errorCode=\"" + std::string(errorCode) + "\">" +
                     std::string(message) + "</serviceException>\n</plusService>\n",
                 {}};
}

std::string UserDataXml(const ServiceAccount& account) {
    const RunTotals totals = SumRuns(account.runs);
    std::string xml = kXmlDeclaration;
    xml += "<plusService>\n<status>success</status>\n";
    xml += "<user id=\"1048576\" externalProfileID=\"strivo-sim\">\n";
    // The blanks around the name are part of what the service sends.
    xml += "<screenName><![CDATA[  " + account.screenName + "  ]]></screenName>\n";
    xml += "<status>active</status>\n</user>\n<userTotals>\n";
    xml += "<totalDistance>" + FormatDistanceUnits(totals.distanceTenThousandthsKm) +
           "</totalDistance>\n";
    xml += "<totalDuration>" + std::to_string(totals.durationMs) + "</totalDuration>\n";
    xml += "<totalCalories>" + std::to_string(totals.calories) + "</totalCalories>\n";
    xml += "<totalRuns>" + std::to_string(totals.runs) + "</totalRuns>\n";
    xml += "<totalRunsWithRoutes>0</totalRunsWithRoutes>\n";
    xml += "<totalCardioDistance>0.0000</totalCardioDistance>\n";
    xml += "<totalCardioDuration>0</totalCardioDuration>\n</userTotals>\n";
    xml +=
        "<userOptions><distanceUnit>km</distanceUnit><dateFormat>YYYY-MM-DD</dateFormat>"
        "<startWeek>Mo</startWeek></userOptions>\n</plusService>\n";
    return xml;
}

std::string RunListXml(std::span<const Run> runs, RunListForm form) {
    const bool compact = form != RunListForm::Full;
    const RunTotals totals = SumRuns(runs);
    std::string xml = kXmlDeclaration;
    xml += "<plusService>\n<status>success</status>\n";
    // The summary comes before the runs on purpose: a client that looks for a
    // run's fields outside that run's element picks up the summary's.
    xml += "<runListSummary>\n<runs>" + std::to_string(totals.runs) + "</runs>\n<distance>" +
           FormatDistanceUnits(totals.distanceTenThousandthsKm) + "</distance>\n<duration>" +
           std::to_string(totals.durationMs) + "</duration>\n<calories>" +
           std::to_string(totals.calories) + "</calories>\n</runListSummary>\n";
    xml += "<runList endIndex=\"-1\" startIndex=\"0\">\n";
    const char* const lineEnd = compact ? "" : "\n";
    for (const Run& run : runs) {
        if (form == RunListForm::Bare) {
            // The blank after the id's quote is where clients end the id.
            xml += "<run id=\"" + MarkupEscape(run.id) + "\" ><distance>" +
                   FormatDistance(run.distanceKm) + "</distance></run>\n";
            continue;
        }
        // Clients end the id at the quote that a blank follows.
        xml += "<run id=\"" + MarkupEscape(run.id) + "\" workoutType=\"" +
               MarkupEscape(run.workoutType) + "\">" + lineEnd;
        xml += "<startTime>" + MarkupEscape(run.startTime) + "</startTime>" + lineEnd;
        xml += "<distance>" + FormatDistance(run.distanceKm) + "</distance>" + lineEnd;
        xml += "<duration>" + std::to_string(run.durationMs) + "</duration>" + lineEnd;
        xml += "<syncTime>" + MarkupEscape(run.syncTime) + "</syncTime>" + lineEnd;
        xml += "<calories>" + std::to_string(run.calories) + "</calories>" + lineEnd;
        if (!compact) {
            xml +=
                "<name><![CDATA[]]></name>\n<description/>\n<howFelt>3</howFelt>\n"
                "<weather>1</weather>\n<terrain>1</terrain>\n<intensity/>\n"
                "<equipmentType>iPod</equipmentType>\n";
        }
        xml += "</run>\n";
    }
    xml += "</runList>\n</plusService>\n";
    return xml;
}

// The account's runs as `count` lists, the later ones the longer by at most one run.
std::vector<std::string> RunListsXml(const ServiceAccount& account, int count, RunListForm form) {
    const std::span<const Run> runs = account.runs;
    const std::size_t lists = static_cast<std::size_t>(std::max(count, 1));
    std::vector<std::string> xml;
    for (std::size_t list = 0; list < lists; ++list) {
        const std::size_t from = runs.size() * list / lists;
        const std::size_t to = runs.size() * (list + 1) / lists;
        xml.push_back(RunListXml(runs.subspan(from, to - from), form));
    }
    return xml;
}

}  // namespace

struct RunService::Impl {
    Impl(ServiceAccount serviceAccount, RunServiceOptions serviceOptions, RequestLog& requestLog,
         FaultSet& faultSet)
        : account(std::move(serviceAccount)),
          options(std::move(serviceOptions)),
          certificate(MakeSelfSignedCertificate({options.certificateNames})),
          log(requestLog),
          faults(faultSet),
          userDataXml(UserDataXml(account)),
          runListXmls(RunListsXml(account, options.runLists, options.runListForm)),
          rng(std::random_device{}()) {}

    bool HasSession(const LoggedRequest& request) const {
        const std::optional<std::string> cookie =
            FindCookie(request.headers, kServiceSessionCookie);
        std::lock_guard lock(mutex);
        return cookie &&
               std::find(sessionIds.begin(), sessionIds.end(), *cookie) != sessionIds.end();
    }

    Reply SignIn(const LoggedRequest& request) {
        const FieldList query = ParseFields(request.query);
        const std::optional<std::string> login = FindField(query, "login");
        const std::optional<std::string> password = FindField(query, "password");
        if (!login || !password || *login != account.user || *password != account.password) {
            return Failure("InvalidLogin", "The login or the password is wrong.");
        }
        std::string id;
        {
            std::lock_guard lock(mutex);
            static constexpr char digits[] = "0123456789abcdef";
            for (int i = 0; i < 32; ++i) {
                id.push_back(digits[rng() % 16]);
            }
            sessionIds.push_back(id);
        }
        Reply reply{200,
                    kXmlType,
                    std::string(kXmlDeclaration) +
                        "<plusService>\n<status>success</status>\n<pin>" + id.substr(0, 16) +
                        "</pin>\n</plusService>\n",
                    {}};
        reply.headers.emplace_back(
            "Set-Cookie", std::string(kServiceSessionCookie) + "=" + id + "; Path=/; HttpOnly");
        return reply;
    }

    Reply UserData(const LoggedRequest& request) const {
        if (!HasSession(request)) {
            return Failure("NotSignedIn", "Sign in first.");
        }
        return Reply{200, kXmlType, userDataXml, {}};
    }

    Reply RunList(const LoggedRequest& request) const {
        if (!HasSession(request)) {
            return Failure("NotSignedIn", "Sign in first.");
        }
        const std::size_t list = nextList++ % runListXmls.size();
        return Reply{200, kXmlType, runListXmls[list], {}};
    }

    std::string AccountJson() const {
        const RunTotals totals = SumRuns(account.runs);
        return "{\"login\":" + JsonString(account.user) +
               ",\"screenName\":" + JsonString(Utf8ToCp936(account.screenName)) +
               ",\"runs\":" + std::to_string(totals.runs) + ",\"totalDistance\":\"" +
               FormatDistanceUnits(totals.distanceTenThousandthsKm) +
               "\",\"totalDuration\":" + std::to_string(totals.durationMs) +
               ",\"totalCalories\":" + std::to_string(totals.calories) + "}\n";
    }

    std::string SessionsJson() const {
        std::lock_guard lock(mutex);
        std::string json = "[";
        for (std::size_t i = 0; i < sessionIds.size(); ++i) {
            json += (i == 0 ? "" : ",") + JsonString(sessionIds[i]);
        }
        return json + "]\n";
    }

    const ServiceAccount account;
    const RunServiceOptions options;
    const TlsCertificate certificate;
    RequestLog& log;
    FaultSet& faults;
    const std::string userDataXml;
    const std::vector<std::string> runListXmls;
    mutable std::atomic<std::size_t> nextList{0};

    mutable std::mutex mutex;
    std::mt19937_64 rng;
    std::vector<std::string> sessionIds;

    Routes secureRoutes{log, faults, true};
    Routes plainRoutes{log, faults, false};
    HttpEndpoint https{secureRoutes, &certificate};
    HttpEndpoint http{plainRoutes, nullptr};
};

RunService::RunService(ServiceAccount account, RunServiceOptions options)
    : StandIn(options),
      m_impl(std::make_unique<Impl>(std::move(account), std::move(options), m_log, m_faults)) {
    Impl& impl = *m_impl;
    impl.secureRoutes.Handle("GET", kSignInPath,
                             [&impl](const LoggedRequest& r) { return impl.SignIn(r); });
    impl.secureRoutes.Handle("GET", kRunListPath,
                             [&impl](const LoggedRequest& r) { return impl.RunList(r); });
    for (Routes* routes : {&impl.secureRoutes, &impl.plainRoutes}) {
        routes->Handle("GET", kUserDataPath,
                       [&impl](const LoggedRequest& r) { return impl.UserData(r); });
    }
    if (impl.options.inspection) {
        impl.plainRoutes.Inspect("/__sim/requests",
                                 [&impl] { return RequestsJson(impl.log.Snapshot()); });
        impl.plainRoutes.Inspect("/__sim/sessions", [&impl] { return impl.SessionsJson(); });
        impl.plainRoutes.Inspect("/__sim/account", [&impl] { return impl.AccountJson(); });
    }
}

RunService::~RunService() {
    Stop();
}

void RunService::Start() {
    m_impl->https.Start(m_impl->options.httpsPort);
    try {
        m_impl->http.Start(m_impl->options.httpPort);
    } catch (...) {
        m_impl->https.Stop();
        throw;
    }
}

void RunService::Stop() {
    m_impl->https.Stop();
    m_impl->http.Stop();
}

int RunService::httpsPort() const {
    return m_impl->https.port();
}

int RunService::httpPort() const {
    return m_impl->http.port();
}

const std::string& RunService::certificatePem() const {
    return m_impl->certificate.certificatePem;
}

const Routes* RunService::RoutesAt(int port) const {
    return port == httpsPort()  ? &m_impl->secureRoutes
           : port == httpPort() ? &m_impl->plainRoutes
                                : nullptr;
}

const ServiceAccount& RunService::account() const {
    return m_impl->account;
}

std::vector<std::string> RunService::sessions() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->sessionIds;
}

}  // namespace strivo::sim
