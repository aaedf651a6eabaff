#pragma once

// How a job reaches the store. For jobs/ only: the faces never open it.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jobs/SyncPlan.h"
#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/RunRows.h"
#include "store/RunStore.h"

namespace strivo::jobs {

// The workspace's store, opened for one job.
Result<std::unique_ptr<RunStore>> OpenStore(const Workspace& where);

// The account's runs read from files, as rows a sync posts, and each one's
// format as its run-log description names it ("GPX"), by key.
struct FileRunRows {
    RunRows rows;
    std::unordered_map<std::string, std::string> formats;
    std::string_view FormatOf(std::string_view runId) const {
        const auto found = formats.find(std::string(runId));
        return found == formats.end() ? std::string_view() : std::string_view(found->second);
    }
};
Result<FileRunRows> ReadFileRunRows(const RunStore& store, const Workspace& where);
// The plan of the runs read from files that `rows` (a downloaded list, or the
// stored runs the window shows) does not hold already: each is planned once.
std::vector<PlannedRun> PlanFileRuns(const FileRunRows& fileRuns, const RunRows& rows,
                                     const std::unordered_map<std::string, PostRecord>& posts,
                                     bool postAll);

}  // namespace strivo::jobs
