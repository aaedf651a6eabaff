#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "jobs/Workspace.h"
#include "model/Progress.h"
#include "model/RunList.h"

namespace strivo::jobs {

struct SyncOptions {
    bool postAll = false;  // post the confirmed and the held runs too
    // Once a stop is asked for, the post in flight gets this long to be
    // answered, so that its outcome is known and kept.
    std::chrono::milliseconds finishPostInFlight{10000};
    // Asked once the sync sees a stop: what asked for it, as a key of
    // SyncInterrupted's (kStopBy...), or empty when nobody can say.
    std::function<std::string()> stoppedBy;
};

// Posts each run of `runs` to the run log once: not a run without a RunID,
// nor a run the store holds as confirmed or unknown, and never a post a
// second time. Takes the store's sync lock for as long as it runs; each
// post's intent is committed before it goes out, with the outcome of the one
// before. Reports SiteSignedIn, then Posting and Posted for each post, and
// SyncDone with the tally it returns (also when it fails before posting).
// Stopping `stop` during the sign-in cancels it at once; during the posts,
// the post in flight gets options.finishPostInFlight to be answered, its
// outcome is committed, and no more are posted.
SyncTally Sync(const Workspace& where, const RunList& runs, ProgressSink& sink,
               std::stop_token stop = {}, const SyncOptions& options = {});

// A sync that ended in the download of the runs it would post, before any
// of this: its record, so that a scheduled sync that never reached the site
// is seen too. A store that cannot keep it loses the record: SyncNotRecorded
// says so.
std::optional<Problem> RecordSyncNotStarted(const Workspace& where, StoreTime started,
                                            const Problem& why);

}  // namespace strivo::jobs
