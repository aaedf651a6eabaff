#pragma once

#include <string>
#include <utility>
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

// What made a step fail, as the user is told.
enum class Failure {
    None,
    Refused,          // the user name or the password
    CannotConnect,    // nothing answers at the address, or the host is unknown
    BadAddress,       // the settings give no usable address
    TimedOut,         // no answer in time, or too slow
    Untrusted,        // no trusted authority vouches for the server's certificate
    WrongHost,        // the certificate names another host
    Tls,              // any other failure to set up a secure connection
    ServerError,      // a status other than 200; FailureCause::status holds it
    Redirects,        // a redirect loop, or a redirect to a refused scheme
    ConnectionLost,   // the connection broke before the answer was whole
    TooLarge,         // the answer passed the size limit
    BadAnswer,        // an answer, but not what was asked for
    CertificateFile,  // the extra CAs named in the settings cannot be read
    Store,            // the run store cannot be opened, read or written
    StoreInUse,       // another sync, in this process or another, has the store
    SessionEnded,     // the site answered a post with its sign-in page: signed out
    Redirected,       // the site answered a post with a redirect: its outcome is unknown
    Cancelled,
    OutOfMemory,
    Other,
};

// Why a step failed.
struct FailureCause {
    Failure failure = Failure::None;
    std::string reason;  // in English, naming the host, file and cause, for the CLI
    long status = 0;     // Failure::ServerError: the status the server gave
};

// One report.
struct ProgressReport {
    ProgressMessage message = WM_SERVICE_LOGIN_DONE;
    long outcome = kOutcomeSuccess;
    std::string summary;  // WM_SUMMARY_READY: the sentence (CP936)
    FailureCause cause;   // None unless the step failed
    int total = 0;        // WM_SYNC_PROGRESS and WM_SYNC_DONE: runs to post
    int processed = 0;    // WM_SYNC_PROGRESS: runs handled so far

    // WM_SYNC_DONE. Every run of the table to post is in exactly one of:
    // posted (total - notPosted), failedIds, unconfirmedIds, untriedIds,
    // unrecordedIds; notPosted counts the four lists.
    int notPosted = 0;
    int alreadyPosted = 0;  // confirmed by an earlier sync: not posted again
    int postedAgain = 0;    // --all: confirmed by an earlier sync, posted again
    int withoutId = 0;      // rows without a RunID: never posted
    std::vector<std::string> failedIds;       // the site did not take them: posted next time
    std::vector<std::string> unconfirmedIds;  // sent without a whole answer: held as unknown
    std::vector<std::string> untriedIds;      // never sent: the sync stopped before them
    std::vector<std::string> unrecordedIds;   // confirmed, but the store could not keep it
    // Unknown since an earlier sync: held back, not posted, until the runner
    // settles them.
    std::vector<std::string> heldIds;
    bool stopped = false;  // a stop was asked for (an interrupt, the window closing)
    // WM_SITE_LOGIN_DONE, WM_RUNS_DONE, WM_SYNC_DONE: things the user should
    // know that did not fail the step (an older record's bad lines, runs the
    // store could not keep).
    std::vector<std::string> warnings;

    // Marks the report failed for `why`.
    void Fail(FailureCause why) {
        outcome = kOutcomeFailure;
        cause = std::move(why);
    }
};

// Where a worker sends its reports: the window queues events, the CLI prints,
// tests record. Called on the worker's thread; must never wait for a window.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void Post(ProgressReport report) = 0;
};

}  // namespace strivo
