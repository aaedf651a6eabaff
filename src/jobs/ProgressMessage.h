#pragma once

#include <string>
#include <utility>

namespace strivo {

// The reports a worker sends to whoever started it. The values are the window
// messages the workers have always used (WM_USER + 2 ... + 6), plus one of our
// own for progress while posting runs.
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

// One report. `summary` is set for WM_SUMMARY_READY (CP936). For
// WM_SYNC_PROGRESS, `count` runs of `total` have been posted so far; for
// WM_SYNC_DONE, `count` runs of `total` were not posted.
struct ProgressReport {
    ProgressReport() = default;
    ProgressReport(ProgressMessage message, long outcome, std::string summary = {}, int count = 0,
                   int total = 0)
        : message(message),
          outcome(outcome),
          summary(std::move(summary)),
          count(count),
          total(total) {}

    ProgressMessage message = WM_SERVICE_LOGIN_DONE;
    long outcome = kOutcomeSuccess;
    std::string summary;
    int count = 0;
    int total = 0;
};

// Where a worker sends its reports: the window queues events, the CLI prints,
// tests record. Called on the worker's thread; must never wait for a window.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void Post(ProgressReport report) = 0;
};

}  // namespace strivo
