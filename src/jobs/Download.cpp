#include "jobs/Download.h"

#include <chrono>

#include "jobs/Manners.h"
#include "jobs/StoreAccess.h"
#include "runservice/RunServiceClient.h"

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
    // The store keeps the service's manners; a store that cannot be opened
    // keeps nothing, and the download goes on.
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    const auto learn = [&](std::optional<Problem> problem, bool signedIn) {
        return store ? Learn(**store, where, Service::RunService, problem, signedIn,
                             std::chrono::system_clock::now())
                     : problem;
    };
    if (store) {
        if (Outcome may =
                MayContact(**store, where, Service::RunService, std::chrono::system_clock::now());
            !may) {
            sink.Post({.step = Step::ServiceSignedIn, .problem = may.problem()});
            return may.problem();
        }
    }
    RunServiceClient client(where.settings, where.session, std::move(stop));
    if (Outcome signedIn = client.SignIn(); !signedIn) {
        const Problem why = *learn(signedIn.problem(), false);
        sink.Post({.step = Step::ServiceSignedIn, .problem = why});
        return why.code == ProblemCode::HostPaused
                   ? why
                   : Problem(ProblemCode::ServiceSignInFailed).Because(why);
    }
    learn(std::nullopt, true);
    sink.Post({.step = Step::ServiceSignedIn});

    Downloaded downloaded{client.FetchSummary(), {}};
    // Emptied here rather than by whoever shows the table, so emptying and
    // filling happen in order on this thread.
    table.Clear();
    sink.Post({.step = Step::SummaryReady, .summary = downloaded.summary});

    // Read as it arrives: 100,000 runs are 38 MB of text, never held whole.
    RunListReader reader;
    if (Outcome fetched = client.FetchRunList(reader, options.onRunListBytes); !fetched) {
        const Problem why = *learn(fetched.problem(), true);
        sink.Post({.step = Step::RunsDownloaded, .problem = why});
        return why.code == ProblemCode::HostPaused
                   ? why
                   : Problem(ProblemCode::RunListFailed).Because(why);
    }
    // A list cut off inside a run still fills the table with the runs before
    // it, but is no whole list to keep.
    const bool whole = reader.EndsOutsideARun();
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
