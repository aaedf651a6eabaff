#include "jobs/StoredRuns.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "jobs/StoreAccess.h"
#include "runservice/RunList.h"
#include "text/TextHelpers.h"

namespace strivo::jobs {
namespace {

// Which of the runs were read from files, and from which.
Outcome MarkFileRuns(const RunStore& store, const Workspace& where, std::vector<StoredRun>& runs) {
    Result<std::vector<StoredRun>> fromFiles =
        store.FileRuns(ServiceKeyOf(where.settings), where.settings.serviceUser);
    if (!fromFiles) {
        return fromFiles.problem();
    }
    if (fromFiles->empty()) {
        return {};
    }
    std::unordered_map<std::string_view, const StoredRun*> byKey;
    for (const StoredRun& run : *fromFiles) {
        byKey.emplace(run.runId, &run);
    }
    for (StoredRun& run : runs) {
        if (const auto found = byKey.find(run.runId); found != byKey.end()) {
            run.source = found->second->source;
            run.sourceFile = found->second->sourceFile;
        }
    }
    return {};
}

}  // namespace

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
    if (Outcome marked = MarkFileRuns(**store, where, list.runs); !marked) {
        return marked.problem();
    }
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
        const std::int32_t durationMs = ReadMilliseconds(run.duration);
        const std::string duration = FormatDuration(durationMs);
        const std::string sync = TrimTimestamp(run.syncTime);
        const std::array<std::string_view, kRunColumnCount> cells = {
            number, start, run.distance, duration, run.calories, sync, run.runId};
        rows.Emplace(cells, durationMs);
    }
    return rows.Finish();
}

}  // namespace strivo::jobs
