#include "jobs/StoredRuns.h"

#include <algorithm>
#include <array>
#include <tuple>

#include "jobs/StoreAccess.h"
#include "runservice/RunList.h"
#include "text/TextHelpers.h"

namespace strivo::jobs {

Result<StoredRunList> ReadStoredRuns(const Workspace& where, bool withPosts, bool ordered) {
    StoredRunList list;
    if (!where.StoreExists()) {
        list.storeExists = false;
        return list;
    }
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    Result<std::vector<StoredRun>> runs =
        (*store)->Runs(ServiceKeyOf(where.settings), where.settings.serviceUser);
    if (!runs) {
        return runs.problem();
    }
    list.runs = std::move(*runs);
    if (withPosts && !where.settings.siteUser.empty()) {
        Result<PostStates> posts = (*store)->Posts(SiteKeyOf(where.settings));
        if (!posts) {
            return posts.problem();
        }
        list.posts = std::move(*posts);
    }
    if (ordered) {
        OrderByStart(list.runs);
    }
    return list;
}

Result<PostStates> ReadPostStates(const Workspace& where) {
    if (!where.StoreExists()) {
        return PostStates();
    }
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    return (*store)->Posts(SiteKeyOf(where.settings));
}

void OrderByStart(std::vector<StoredRun>& runs) {
    std::stable_sort(runs.begin(), runs.end(), [](const StoredRun& a, const StoredRun& b) {
        return std::tie(a.startUtcMs, a.firstSeen) < std::tie(b.startUtcMs, b.firstSeen);
    });
}

RunRows RowsOfStoredRuns(std::span<const StoredRun> runs) {
    RunRows::Builder rows;
    long long sequence = 0;
    for (const StoredRun& run : runs) {
        const std::string number = std::to_string(++sequence);
        const std::string start = TrimTimestamp(run.startTime);
        const std::int64_t durationMs = ReadMilliseconds(run.duration);
        const std::string duration = FormatDuration(durationMs);
        const std::string sync = TrimTimestamp(run.syncTime);
        const std::array<std::string_view, kRunColumnCount> cells = {
            number, start, run.distance, duration, run.calories, sync, run.runId};
        rows.Emplace(cells, durationMs);
    }
    return rows.Finish();
}

}  // namespace strivo::jobs
