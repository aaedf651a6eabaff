#include "jobs/Download.h"

#include <chrono>

#include "jobs/StoreAccess.h"
#include "runservice/RunServiceClient.h"
#include "text/CodePage.h"

namespace strivo::jobs {
namespace {

// Keeps a whole list in the store; what went wrong is a warning, not a
// failure: the table has the runs.
std::optional<Problem> Keep(const Workspace& where, const RawRunTexts& raw) {
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    Outcome kept =
        store ? (*store)->StoreRuns(ServiceKeyOf(where.settings), where.settings.serviceUser,
                                    raw.Runs(), std::chrono::system_clock::now())
              : Outcome(store.problem());
    if (!kept) {
        return Problem(ProblemCode::RunsNotKept).Because(kept.problem());
    }
    return std::nullopt;
}

}  // namespace

Result<Downloaded> Download(const Workspace& where, RunTable& table, ProgressSink& sink,
                            std::stop_token stop, const DownloadOptions& options) {
    RunServiceClient client(where.settings, where.session, std::move(stop));
    if (Outcome signedIn = client.SignIn(); !signedIn) {
        sink.Post({.step = Step::ServiceSignedIn, .problem = signedIn.problem()});
        return Problem(ProblemCode::ServiceSignInFailed).Because(signedIn.problem());
    }
    sink.Post({.step = Step::ServiceSignedIn});

    Downloaded downloaded{client.FetchSummary(), {}};
    // Emptied here rather than by whoever shows the table, so emptying and
    // filling happen in order on this thread.
    table.Clear();
    sink.Post({.step = Step::SummaryReady, .summary = downloaded.summary});

    // Read as it arrives: 100,000 runs are 38 MB of text, never held whole.
    RunListReader reader;
    if (Outcome fetched = client.FetchRunList(reader, options.onRunListBytes); !fetched) {
        sink.Post({.step = Step::RunsDownloaded, .problem = fetched.problem()});
        return Problem(ProblemCode::RunListFailed).Because(fetched.problem());
    }
    // A list cut off inside a run still fills the table with the runs before
    // it, but is no whole list to keep.
    const bool whole = reader.EndsOutsideARun();
    for (const std::string& runId : reader.CutRunIds()) {
        downloaded.warnings.push_back(
            Problem(ProblemCode::RunIdHoldsZeroByte, {Cp936ToUtf8(runId)}));
    }
    RawRunTexts raw;
    table.Append(reader.Finish(&raw));
    if (whole) {
        if (std::optional<Problem> notKept = Keep(where, raw)) {
            downloaded.warnings.push_back(std::move(*notKept));
        }
    }
    sink.Post({.step = Step::RunsDownloaded, .warnings = downloaded.warnings});
    return downloaded;
}

}  // namespace strivo::jobs
