#pragma once

#include <string>
#include <vector>

namespace strivo {

// The reports a worker sends to whoever started it: the window messages
// WM_USER + 2 ... + 6, and one more for progress while posting runs.
enum ProgressMessage : int {
    WM_SERVICE_LOGIN_DONE = 1026,  // after the run-service sign-in; outcome
    WM_SUMMARY_READY = 1027,       // the summary sentence is in the report
    WM_RUNS_DONE = 1028,           // after the run list; outcome
    WM_SITE_LOGIN_DONE = 1029,     // after the community-site sign-in; outcome
    WM_SYNC_DONE = 1030,           // after the last run-log post; outcome and counts
    WM_SYNC_PROGRESS = 1031,       // one more run-log post done; counts
};

inline constexpr long kOutcomeSuccess = 0;
inline constexpr long kOutcomeFailure = -1;

// Any non-zero outcome is a failure.
constexpr bool Succeeded(long outcome) {
    return outcome == kOutcomeSuccess;
}

// One report.
struct ProgressReport {
    ProgressMessage message = WM_SERVICE_LOGIN_DONE;
    long outcome = kOutcomeSuccess;
    std::string summary;  // WM_SUMMARY_READY: the sentence (CP936)
    std::string reason;   // a failure: why, in a few English words, for the CLI
    int total = 0;        // WM_SYNC_PROGRESS and WM_SYNC_DONE: runs to post
    int processed = 0;    // WM_SYNC_PROGRESS: runs handled so far

    // WM_SYNC_DONE.
    int notPosted = 0;                        // runs to post that the site did not confirm
    int alreadyPosted = 0;                    // runs the site has already: not posted again
    int withoutId = 0;                        // rows without a RunID: never posted
    std::vector<std::string> failedIds;       // not posted
    std::vector<std::string> unconfirmedIds;  // sent without an answer: may be on the site
    // The first report of a sync: lines of the record of posted runs that
    // were skipped.
    std::vector<std::string> warnings;
};

// Where a worker sends its reports: the window queues events, the CLI prints,
// tests record. Called on the worker's thread; must never wait for a window.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void Post(ProgressReport report) = 0;
};

}  // namespace strivo
