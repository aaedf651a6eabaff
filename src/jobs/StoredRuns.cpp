#include "jobs/StoredRuns.h"

#include <array>
#include <unordered_map>
#include <unordered_set>

#include "io/TimeText.h"
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

Result<FileRunRows> ReadFileRunRows(const RunStore& store, const Workspace& where) {
    Result<std::vector<StoredRun>> runs =
        store.FileRuns(ServiceKeyOf(where.settings), where.settings.serviceUser);
    if (!runs) {
        return runs.problem();
    }
    FileRunRows made;
    for (const StoredRun& run : *runs) {
        std::string format = run.source;
        for (char& c : format) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        made.formats.emplace(run.runId, std::move(format));
    }
    made.rows = RowsOfStoredRuns(*runs);
    return made;
}

std::vector<PlannedRun> PlanFileRuns(const FileRunRows& fileRuns, const RunRows& rows,
                                     const std::unordered_map<std::string, PostRecord>& posts,
                                     bool postAll) {
    std::unordered_set<std::string_view> listed;
    for (const RunRow& row : rows) {
        if (IsImportedRunKey(row[kColumnRunId])) {
            listed.insert(row[kColumnRunId]);
        }
    }
    std::vector<PlannedRun> plan = PlanSync(fileRuns.rows, posts, postAll);
    std::erase_if(plan,
                  [&](const PlannedRun& run) { return listed.contains((*run.row)[kColumnRunId]); });
    return plan;
}

RunRows RowsOfStoredRuns(std::span<const StoredRun> runs) {
    RunRows::Builder rows;
    long long sequence = 0;
    for (const StoredRun& run : runs) {
        AddStoredRunRow(rows, run, ++sequence);
    }
    return rows.Finish();
}

void AddStoredRunRow(RunRows::Builder& rows, const StoredRun& run, long long number) {
    const std::string sequence = std::to_string(number);
    const std::string start = TrimTimestamp(run.startTime);
    const std::int64_t durationMs = ReadMilliseconds(run.duration);
    const std::string duration = FormatDuration(durationMs);
    const std::string sync = TrimTimestamp(run.syncTime);
    const std::array<std::string_view, kRunColumnCount> cells = {
        sequence, start, run.distance, duration, run.calories, sync, run.runId};
    rows.Emplace(cells, durationMs);
}

}  // namespace strivo::jobs
