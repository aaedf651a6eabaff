#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/Problem.h"
#include "model/Runs.h"

namespace strivo {

// The steps a job reports as it goes, to whoever started it.
enum class Step {
    ServiceSignedIn,  // the run-service sign-in ended
    SummaryReady,     // the account's summary sentence is in the report
    RunsDownloaded,   // the run list ended; the table holds its rows
    SiteSignedIn,     // the community-site sign-in ended
    Posting,          // a run-log post goes out now (its intent is kept): runId
    Posted,           // a post ended and its outcome is kept: runId, result, counts
    SyncDone,         // the sync ended: its tally
    FileImported,     // an import read one file (or failed to): file, total, processed
    ImportDone,       // an import ended: imported; problem when the store failed it
    FileExported,     // an export wrote one file: file, total, processed
};

// How a sync went. Every run of the table to post is in exactly one of:
// posted (total - notPosted), failedIds, unconfirmedIds, untriedIds,
// unrecordedIds; notPosted counts the four lists.
struct SyncTally {
    int total = 0;  // runs to post
    int notPosted = 0;
    int alreadyPosted = 0;                    // confirmed by an earlier sync: not posted again
    int postedAgain = 0;                      // --all: confirmed by an earlier sync, posted again
    int withoutId = 0;                        // rows without a RunID: never posted
    int excluded = 0;                         // kept off the run log: never posted
    std::vector<std::string> failedIds;       // the site did not take them: posted next time
    std::vector<std::string> unconfirmedIds;  // sent without a whole answer: held as unknown
    std::vector<std::string> untriedIds;      // never sent: the sync stopped before them
    std::vector<std::string> unrecordedIds;   // confirmed, but the store could not keep it
    // Unknown since an earlier sync: held back, not posted, until the runner
    // settles them.
    std::vector<std::string> heldIds;
    bool signedIn = false;  // the sync got as far as the site's sign-in, and through it
    bool stopped = false;   // a stop was asked for (an interrupt, the window closing)
    // Why the sync failed: SiteSignInFailed when it never got in, else what
    // stopped it or made a post fail.
    std::optional<Problem> problem;
    // What the runner should know that did not fail it (an older record's
    // bad lines).
    std::vector<Problem> warnings;

    bool ok() const { return !problem; }
};

// How an import went.
struct ImportCounts {
    int files = 0;
    int imported = 0;         // runs added
    int duplicates = 0;       // runs already stored
    int unreadable = 0;       // files or paths not read
    int otherSports = 0;      // activities of other sports, skipped
    int withoutActivity = 0;  // files read whole that hold no activity
    int keptOff = 0;          // runs added kept off the run log until released
};

// One report.
struct ProgressReport {
    Step step = Step::ServiceSignedIn;
    std::optional<Problem> problem;             // the step failed, and why
    std::string summary;                        // SummaryReady: the sentence (CP936)
    std::string runId;                          // Posting, Posted (CP936)
    PostResult result = PostResult::Confirmed;  // Posted
    int total = 0;          // Posted: runs to post; FileImported, FileExported: files
    int processed = 0;      // Posted: runs handled so far; FileImported, FileExported: files
    std::string file;       // FileImported, FileExported: the path (UTF-8)
    ImportCounts imported;  // ImportDone
    SyncTally tally;        // SyncDone
    // RunsDownloaded, SiteSignedIn: what the runner should know that did not
    // fail the step (runs the store could not keep, an older record's bad lines);
    // ImportDone: the first files that could not be read, and why, then the
    // first that hold no activity (ImportCourse, ImportWorkout, ImportNoActivity).
    std::vector<Problem> warnings;

    bool ok() const { return !problem; }
    void Fail(Problem why) { problem = std::move(why); }
};

// Where a job sends its reports: the window queues events, the CLI prints,
// tests record. Called on the job's thread; must never wait for a window.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void Post(ProgressReport report) = 0;
};

}  // namespace strivo
