#include "jobs/StoredRuns.h"

#include <unordered_map>
#include <unordered_set>

#include "jobs/StoreAccess.h"
#include "runservice/RunList.h"
#include "text/TextHelpers.h"

namespace strivo::jobs {
Result<StoredRunsFound> EachStoredRun(const Workspace& where, bool withPosts, StoredOrder order,
                                      const std::function<void(const StoredRunsFound&)>& found,
                                      const std::function<void(const StoredRun&)>& visit,
                                      StoredFields fields) {
    StoredRunsFound told;
    if (!where.StoreExists()) {
        told.storeExists = false;
        if (found) {
            found(told);
        }
        return told;
    }
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    const ServiceKey service = ServiceKeyOf(where.settings);
    if (found) {
        const Result<std::size_t> count = (*store)->CountRuns(service, where.settings.serviceUser);
        if (!count) {
            return count.problem();
        }
        told.count = *count;
    }
    if (withPosts && !where.settings.siteUser.empty()) {
        Result<PostStates> posts = (*store)->Posts(SiteKeyOf(where.settings));
        if (!posts) {
            return posts.problem();
        }
        told.posts = std::move(*posts);
    }
    std::size_t visited = 0;
    const auto count = [&visit, &visited](const StoredRun& run) {
        ++visited;
        visit(run);
    };
    if (found) {
        found(told);
    }
    const Outcome read =
        (*store)->EachRun(service, where.settings.serviceUser,
                          order == StoredOrder::ByStart       ? RunStore::RunOrder::ByStart
                          : order == StoredOrder::NewestFirst ? RunStore::RunOrder::NewestFirst
                                                              : RunStore::RunOrder::AsStored,
                          found ? visit : std::function<void(const StoredRun&)>(count),
                          fields == StoredFields::Figures ? RunStore::RunFields::Figures
                          : fields == StoredFields::Lines ? RunStore::RunFields::Lines
                                                          : RunStore::RunFields::All);
    if (!read) {
        return read.problem();
    }
    if (!found) {
        told.count = visited;
    }
    return told;
}

Result<StoredRunList> ReadStoredRuns(const Workspace& where, bool withPosts, bool ordered) {
    StoredRunList list;
    Result<StoredRunsFound> read = EachStoredRun(
        where, withPosts, ordered ? StoredOrder::ByStart : StoredOrder::NewestFirst,
        [&list](const StoredRunsFound& found) { list.runs.reserve(found.count); },
        [&list](const StoredRun& run) { list.runs.push_back(run); });
    if (!read) {
        return read.problem();
    }
    list.storeExists = read->storeExists;
    list.posts = std::move(read->posts);
    return list;
}

Result<std::optional<StoredRun>> ReadStoredRun(const Workspace& where, std::string_view runId) {
    if (!where.StoreExists()) {
        return std::optional<StoredRun>();
    }
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    return (*store)->FindRun(ServiceKeyOf(where.settings), where.settings.serviceUser, runId);
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

Result<RunList> ReadFileRuns(const RunStore& store, const Workspace& where) {
    Result<std::vector<StoredRun>> runs =
        store.FileRuns(ServiceKeyOf(where.settings), where.settings.serviceUser);
    if (!runs) {
        return runs.problem();
    }
    return RunsOfStored(*runs);
}

std::vector<PlannedRun> PlanFileRuns(const RunList& fileRuns, const RunList& runs,
                                     const std::unordered_map<std::string, PostRecord>& posts,
                                     bool postAll) {
    std::unordered_set<std::string_view> listed;
    for (const Run& run : runs) {
        if (!run.FromService()) {
            listed.insert(run.id());
        }
    }
    std::vector<PlannedRun> plan = PlanSync(fileRuns, posts, postAll);
    std::erase_if(plan, [&](const PlannedRun& run) { return listed.contains(run.run->id()); });
    return plan;
}

RunList RunsOfStored(std::span<const StoredRun> runs) {
    RunList::Builder made;
    for (const StoredRun& run : runs) {
        made.Add(RunOf(run));
    }
    return made.Finish();
}

Run RunOf(const StoredRun& run) {
    if (!run.source.empty()) {
        return Run(run.runId, RunSourceNamed(run.source),
                   {run.startUtcMs, run.startOffsetMinutes, run.distanceMetres,
                    run.durationMs.value_or(0), run.calorieCount});
    }
    return Run(run.runId, {run.startTime, run.distance, run.duration, run.calories, run.syncTime},
               {run.startUtcMs, run.startOffsetMinutes, run.distanceMetres,
                ReadMilliseconds(run.duration), run.calorieCount});
}

}  // namespace strivo::jobs
