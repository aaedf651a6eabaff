#include "jobs/Download.h"

#include <chrono>

#include "jobs/Manners.h"
#include "jobs/StoreAccess.h"
#include "runservice/RunServiceClient.h"
#include "text/CodePage.h"

namespace strivo::jobs {
namespace {

// Where the list is kept as it arrives: a transaction of the store's, or
// nothing, with what kept it from being there (a warning, not a failure:
// the table still gets the runs).
struct Keeper {
    std::unique_ptr<RunStore> store;
    std::unique_ptr<RunListWriter> writer;
    std::optional<Problem> problem;
};

Keeper BeginKeeping(const Workspace& where) {
    Keeper keeper;
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        keeper.problem = Problem(ProblemCode::RunsNotKept).Because(store.problem());
        return keeper;
    }
    keeper.store = std::move(*store);
    Result<std::unique_ptr<RunListWriter>> writer = keeper.store->BeginRunList(
        ServiceKeyOf(where.settings), where.settings.serviceUser, std::chrono::system_clock::now());
    if (!writer) {
        keeper.problem = Problem(ProblemCode::RunsNotKept).Because(writer.problem());
        return keeper;
    }
    keeper.writer = std::move(*writer);
    return keeper;
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

    // Read and kept as it arrives: 100,000 runs are 38 MB of text, never
    // held whole. A list that fails on the way is dropped unkept (rolled back).
    Keeper keeper = BeginKeeping(where);
    RunListReader reader;
    if (keeper.writer) {
        reader = RunListReader([&keeper](const DownloadedRun& run) { keeper.writer->Add(run); });
    }
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
    for (const std::string& runId : reader.CutRunIds()) {
        downloaded.warnings.push_back(
            Problem(ProblemCode::RunIdHoldsZeroByte, {Cp936ToUtf8(runId)}));
    }
    table.Append(reader.Finish());
    if (whole && keeper.writer) {
        if (Outcome kept = keeper.writer->Finish(); !kept) {
            keeper.problem = Problem(ProblemCode::RunsNotKept).Because(kept.problem());
        }
    }
    keeper.writer.reset();  // a list not kept is rolled back now, not when the job ends
    if (whole && keeper.problem) {
        downloaded.warnings.push_back(std::move(*keeper.problem));
    }
    sink.Post({.step = Step::RunsDownloaded, .warnings = downloaded.warnings});
    return downloaded;
}

}  // namespace strivo::jobs
