#include "jobs/Download.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

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

// The list's runs kept on a thread of their own, a batch at a time, while
// this one goes on reading: keeping a run costs more than reading it, and
// the two then share the machine's cores. At most a few batches wait, so a
// list of any length takes little room.
class KeepingThread {
public:
    explicit KeepingThread(RunListWriter& writer)
        : m_writer(writer), m_thread([this] { Work(); }) {}
    // Without Finish (a list that failed on the way): what waits is dropped.
    ~KeepingThread() {
        {
            std::lock_guard lock(m_mutex);
            m_waiting.clear();
            m_closing = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    KeepingThread(const KeepingThread&) = delete;
    KeepingThread& operator=(const KeepingThread&) = delete;

    void Add(const Run& run) {
        m_filling.push_back(run);
        if (m_filling.size() == kBatchRuns) {
            Hand();
        }
    }
    // Waits until every run added is kept.
    void Finish() {
        Hand();
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_waiting.empty() && !m_busy; });
    }

private:
    static constexpr std::size_t kBatchRuns = 512;
    static constexpr std::size_t kMostWaiting = 4;
    using Batch = std::vector<Run>;

    void Hand() {
        if (m_filling.empty()) {
            return;
        }
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_waiting.size() < kMostWaiting; });
        m_waiting.push_back(std::move(m_filling));
        m_filling = {};
        lock.unlock();
        m_changed.notify_all();
    }

    void Work() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] { return m_closing || !m_waiting.empty(); });
            if (m_waiting.empty()) {
                return;
            }
            Batch batch = std::move(m_waiting.front());
            m_waiting.pop_front();
            m_busy = true;
            lock.unlock();
            m_changed.notify_all();
            Keep(batch);
            lock.lock();
            m_busy = false;
            m_changed.notify_all();
        }
    }

    void Keep(const Batch& batch) {
        for (const Run& run : batch) {
            m_writer.Add(run);
        }
    }

    RunListWriter& m_writer;
    Batch m_filling;  // this thread's, until handed over
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_waiting;
    bool m_busy = false;
    bool m_closing = false;
    std::thread m_thread;  // last: it starts once the rest is made
};

// A whole list's last runs kept and committed; a list cut off rolled back.
void FinishKeeping(Keeper& keeper, std::optional<KeepingThread>& keeping, bool whole) {
    if (whole && keeping) {
        keeping->Finish();
    }
    keeping.reset();
    if (whole && keeper.writer) {
        if (Outcome kept = keeper.writer->Finish(); !kept) {
            keeper.problem = Problem(ProblemCode::RunsNotKept).Because(kept.problem());
        }
    }
    keeper.writer.reset();  // a list not kept is rolled back now, not when the job ends
}

// What kept a whole list from the store, said once.
void WarnNotKept(Keeper& keeper, bool whole, std::vector<Problem>& warnings) {
    if (whole && keeper.problem) {
        warnings.push_back(std::move(*keeper.problem));
        keeper.problem.reset();
    }
}

}  // namespace

Result<Downloaded> Download(const Workspace& where, RunTable& table, ProgressSink& sink,
                            std::stop_token stop, const DownloadOptions& options) {
    // The store keeps the service's manners; a store that cannot be opened
    // keeps nothing, and the download goes on.
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    std::vector<Problem> notKept;
    const auto learn = [&](std::optional<Problem> problem, bool signedIn) {
        const StoreTime now = std::chrono::system_clock::now();
        return store ? Learn(**store, where, Service::RunService, problem, signedIn, now, &notKept)
                     : LearnWithoutStore(where, Service::RunService, problem, store.problem(), now);
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
        return IsPause(why) ? why : Problem(ProblemCode::ServiceSignInFailed).Because(why);
    }
    learn(std::nullopt, true);
    sink.Post({.step = Step::ServiceSignedIn});

    Downloaded downloaded{client.FetchSummary(), std::move(notKept)};
    // Emptied here rather than by whoever shows the table, so emptying and
    // filling happen in order on this thread.
    table.Clear();
    sink.Post({.step = Step::SummaryReady, .summary = downloaded.summary});

    // Read and kept as it arrives: 100,000 runs are 38 MB of text, never
    // held whole. A list that fails on the way is dropped unkept (rolled back).
    Keeper keeper = BeginKeeping(where);
    std::optional<KeepingThread> keeping;
    RunListReader reader;
    if (keeper.writer) {
        keeping.emplace(*keeper.writer);
        reader = RunListReader([&keeping](const Run& run) { keeping->Add(run); });
    }
    if (options.onRun) {
        reader.SendRunsTo(options.onRun);
    }
    if (Outcome fetched = client.FetchRunList(reader, options.onRunListBytes); !fetched) {
        // Dropped first: the list's transaction holds the write lock a pause needs.
        keeping.reset();
        keeper.writer.reset();
        keeper.store.reset();
        const Problem why = *learn(fetched.problem(), false);
        sink.Post({.step = Step::RunsDownloaded, .problem = why});
        return IsPause(why) ? why : Problem(ProblemCode::RunListFailed).Because(why);
    }
    // A list cut off inside a run still fills the table with the runs before
    // it, but is no whole list to keep.
    const bool whole = reader.EndsOutsideARun();
    for (const std::string& runId : reader.CutRunIds()) {
        downloaded.warnings.push_back(
            Problem(ProblemCode::RunIdHoldsZeroByte, {Cp936ToUtf8(runId)}));
    }
    table.Append(reader.Finish());
    // A store that could not be opened is said before the list is shown.
    WarnNotKept(keeper, whole, downloaded.warnings);
    if (whole && options.whileKeeping) {
        // The store's last marks and its durable commit take as long as
        // printing a long list: the two share the machine's cores.
        std::jthread finishing([&] { FinishKeeping(keeper, keeping, whole); });
        options.whileKeeping(downloaded.warnings);
    } else {
        FinishKeeping(keeper, keeping, whole);
    }
    WarnNotKept(keeper, whole, downloaded.warnings);
    sink.Post({.step = Step::RunsDownloaded, .warnings = downloaded.warnings});
    return downloaded;
}

}  // namespace strivo::jobs
