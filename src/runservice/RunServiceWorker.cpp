#include "runservice/RunServiceWorker.h"

#include "runservice/RequestFailure.h"
#include "runservice/RunList.h"
#include "store/SharedStore.h"
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

// Signs in to the run service, builds the summary sentence and fills the run
// table, for one download. Reaches the outside only through its progress sink
// and the run table.
class RunServiceWorker {
public:
    // Host, ports and credentials come from `settings`.
    RunServiceWorker(const Settings& settings, WebSessionConfig sessionConfig,
                     DownloadOptions options, std::stop_token stop = {});

    // Reports WM_SERVICE_LOGIN_DONE, then WM_SUMMARY_READY and WM_RUNS_DONE
    // unless the sign-in failed; true when every step succeeded.
    bool RunJob(ProgressSink& sink, RunTable& table);

private:
    bool SignIn();
    std::string FetchAccountSummary();
    bool DownloadRunList(RunTable& table);
    // Keeps a whole list in the store; what went wrong is a warning, not a
    // failure: the table has the runs.
    void StoreRuns(const RawRunTexts& runs);

    const Settings m_settings;
    const DownloadOptions m_options;
    std::vector<std::string> m_warnings;  // for WM_RUNS_DONE
    WebSession m_session;
    FailureCause m_failure;  // why the last failed step failed, for the report
};

}  // namespace

RunServiceWorker::RunServiceWorker(const Settings& settings, WebSessionConfig sessionConfig,
                                   DownloadOptions options, std::stop_token stop)
    : m_settings(settings), m_options(std::move(options)), m_session(std::move(sessionConfig), std::move(stop)) {}

bool RunServiceWorker::RunJob(ProgressSink& sink, RunTable& table) {
    const auto report = [&](ProgressMessage message, long outcome, std::string summary = {}) {
        ProgressReport progress{message, outcome, std::move(summary)};
        if (!Succeeded(outcome)) {
            progress.Fail(m_failure);
        }
        if (message == WM_RUNS_DONE) {
            progress.warnings = std::move(m_warnings);
        }
        sink.Post(std::move(progress));
    };
    // A session that cannot be opened is a failed sign-in, so the starter's
    // buttons come back.
    if (const HttpResult opened = m_session.OpenSession(); !opened.ok()) {
        m_failure = FailureOf(opened);
        report(WM_SERVICE_LOGIN_DONE, kOutcomeFailure);
        return false;
    }
    if (!SignIn()) {
        report(WM_SERVICE_LOGIN_DONE, kOutcomeFailure);
        return false;
    }
    report(WM_SERVICE_LOGIN_DONE, kOutcomeSuccess);

    std::string summary = FetchAccountSummary();
    // Emptied here rather than by whoever shows the table, so emptying and
    // filling happen in order on this thread.
    table.Clear();
    report(WM_SUMMARY_READY, kOutcomeSuccess, std::move(summary));

    if (!DownloadRunList(table)) {
        report(WM_RUNS_DONE, kOutcomeFailure);
        return false;
    }
    report(WM_RUNS_DONE, kOutcomeSuccess);
    return true;
}

bool RunServiceWorker::SignIn() {
    std::string pathAndQuery(kSignInPath);
    pathAndQuery += "?login=" + PercentEncode(m_settings.serviceUser);
    pathAndQuery += "&password=" + PercentEncode(m_settings.servicePassword);
    const HttpResult result =
        m_session.HttpGet(ServiceUrl(m_settings, pathAndQuery), kSecureRequestOptions);
    if (!Contains(result.Text(), "success")) {
        m_failure = result.ok() ? FailureCause{Failure::Refused, "user name or password refused"}
                                : FailureOf(result);
        return false;
    }
    return true;
}

std::string RunServiceWorker::FetchAccountSummary() {
    // A failed request still gives the sentence its frame, with empty values.
    const HttpResult result =
        m_session.HttpGet(ServiceUrl(m_settings, kAccountDataPath), kSecureRequestOptions);
    // The account data is UTF-8; no zero byte comes through the line reader.
    return BuildSummary(Utf8ToCp936(result.Text()));
}

bool RunServiceWorker::DownloadRunList(RunTable& table) {
    // Read as it arrives: 100,000 runs are 38 MB of text, never held whole.
    RunListReader runList;
    std::size_t bytes = 0;
    const HttpResult result = m_session.HttpGet(
        ServiceUrl(m_settings, kRunListPath), kRunListOptions, [&](std::string_view text) {
            runList.Feed(text);
            bytes += text.size();
            if (m_options.onRunListBytes) {
                m_options.onRunListBytes(bytes);
            }
        });
    if (!result.ok() || !runList.SaysSuccess()) {
        m_failure = result.ok() ? FailureCause{Failure::BadAnswer,
                                               "the run service did not send a run list"}
                                : FailureOf(result);
        return false;
    }
    // A list cut off inside a run still fills the table with the runs before
    // it, but is no whole list to keep.
    const bool whole = runList.EndsOutsideARun();
    RawRunTexts raw;
    table.Append(runList.Finish(&raw));
    if (whole) {
        StoreRuns(raw);
    }
    return true;
}

void RunServiceWorker::StoreRuns(const RawRunTexts& raw) {
    if (!m_options.store) {
        return;
    }
    const std::vector<DownloadedRun> runs = raw.Runs();
    const StoreResult stored = m_options.store->With([&](RunStore* store) {
        return store != nullptr ? store->StoreRuns(ServiceKeyOf(m_settings), m_settings.serviceUser,
                                                   runs, std::chrono::system_clock::now())
                                : m_options.store->opened();
    });
    if (!stored) {
        m_warnings.push_back("the runs were not kept in the run store: " + stored.reason);
    }
}

void RunDownload(std::stop_token stop, const Settings& settings, WebSessionConfig sessionConfig,
                 ProgressSink& sink, RunTable& table, DownloadOptions options) {
    sessionConfig.caFile = settings.serviceCaFile;
    RunServiceWorker(settings, std::move(sessionConfig), std::move(options), std::move(stop))
        .RunJob(sink, table);
}

std::jthread StartDownload(const Settings& settings, WebSessionConfig sessionConfig,
                           ProgressSink& sink, std::shared_ptr<RunTable> table,
                           DownloadOptions options) {
    return std::jthread([settings, config = std::move(sessionConfig), &sink,
                         table = std::move(table),
                         options = std::move(options)](std::stop_token stop) mutable {
        RunDownload(std::move(stop), settings, std::move(config), sink, *table,
                    std::move(options));
    });
}

}  // namespace strivo
