#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "jobs/Workspace.h"
#include "model/Progress.h"
#include "model/Result.h"
#include "model/RunTable.h"

namespace strivo::jobs {

struct DownloadOptions {
    // On the job's thread, as the run list arrives: the bytes read so far.
    std::function<void(std::size_t bytes)> onRunListBytes;
    // On the job's thread, each run and its 序号 as it is read; the table
    // then gets none (a table printed as it comes holds no million runs).
    std::function<void(const Run& run, std::int64_t number)> onRun;
    // On the job's thread, once the whole list is read, while the store
    // finishes keeping it on another: a face shows the list meanwhile, after
    // the warnings so far (the download's own warnings start with them). Not
    // called for a download that failed or a list cut off.
    std::function<void(const std::vector<Problem>& warnings)> whileKeeping;
};

struct Downloaded {
    std::string summary;            // the summary sentence (CP936)
    std::vector<Problem> warnings;  // what did not fail the download (runs not kept)
};

// Signs in to the run service, reads the account's summary and fills `table`
// with the run list, then keeps a whole list in the store. Reports
// ServiceSignedIn, then SummaryReady (the table emptied) and RunsDownloaded
// unless the sign-in failed. The problem says which step failed
// (ServiceSignInFailed, RunListFailed) and why. Stopping `stop` cancels the
// request in flight.
Result<Downloaded> Download(const Workspace& where, RunTable& table, ProgressSink& sink,
                            std::stop_token stop = {}, const DownloadOptions& options = {});

}  // namespace strivo::jobs
