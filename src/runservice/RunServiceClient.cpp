#include "runservice/RunServiceClient.h"

#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::string_view kSignInPath = "/nikeplus/v1/services/widget/generate_pin.jsp";
constexpr std::string_view kAccountDataPath = "/nikeplus/v1/services/app/get_user_data.jsp";
constexpr std::string_view kRunListPath = "/nikeplus/v1/services/app/run_list.jsp";
// A long run list may take its time, but not for ever.
constexpr RequestOptions kRunListOptions{.secure = true, .deadline = std::chrono::minutes(15)};

bool Contains(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

WebSessionConfig WithCaFile(WebSessionConfig config, const Settings& settings) {
    config.caFile = settings.serviceCaFile;
    return config;
}

}  // namespace

RunServiceClient::RunServiceClient(const Settings& settings, WebSessionConfig sessionConfig,
                                   std::stop_token stop)
    : m_settings(settings),
      m_session(WithCaFile(std::move(sessionConfig), settings), std::move(stop)) {}

Outcome RunServiceClient::SignIn() {
    if (const HttpResult opened = m_session.OpenSession(); !opened.ok()) {
        return opened.problem;
    }
    std::string pathAndQuery(kSignInPath);
    pathAndQuery += "?login=" + PercentEncode(m_settings.serviceUser);
    pathAndQuery += "&password=" + PercentEncode(m_settings.servicePassword);
    const HttpResult result =
        m_session.HttpGet(ServiceUrl(m_settings, pathAndQuery), kSecureRequestOptions);
    if (!Contains(result.Text(), "success")) {
        return result.ok() ? Problem(ProblemCode::SignInRefused) : result.problem;
    }
    return {};
}

std::string RunServiceClient::FetchSummary() {
    const HttpResult result =
        m_session.HttpGet(ServiceUrl(m_settings, kAccountDataPath), kSecureRequestOptions);
    // The account data is UTF-8; no zero byte comes through the line reader.
    return BuildSummary(Utf8ToCp936(result.Text()));
}

Outcome RunServiceClient::FetchRunList(RunListReader& reader,
                                       const std::function<void(std::size_t)>& onBytes) {
    std::size_t bytes = 0;
    const HttpResult result = m_session.HttpGet(ServiceUrl(m_settings, kRunListPath),
                                                kRunListOptions, [&](std::string_view text) {
                                                    reader.Feed(text);
                                                    bytes += text.size();
                                                    if (onBytes) {
                                                        onBytes(bytes);
                                                    }
                                                });
    if (!result.ok()) {
        return result.problem;
    }
    for (const std::string& before : result.zeroByteCuts) {
        reader.NoteZeroByteCut(before);
    }
    if (!reader.SaysSuccess()) {
        return Problem(ProblemCode::NoRunList);
    }
    return {};
}

}  // namespace strivo
