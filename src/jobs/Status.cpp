#include "jobs/Status.h"

#include <algorithm>
#include <system_error>

#include "jobs/StoreAccess.h"
#include "notify/Notice.h"
#include "schedule/Scheduler.h"

namespace strivo::jobs {
namespace {

bool IsHeld(PostState state) {
    return state == PostState::Unknown || state == PostState::Sending;
}

// The held runs (oldest intent first) and the stored runs not posted yet.
Outcome ReadPosts(RunStore& store, const Workspace& where, StatusReport& report) {
    Result<std::unordered_map<std::string, PostRecord>> posts =
        store.Posts(SiteKeyOf(where.settings));
    if (!posts) {
        return posts.problem();
    }
    std::vector<std::pair<StoreTime, std::string>> held;
    for (const auto& [runId, post] : *posts) {
        if (IsHeld(post.state)) {
            held.emplace_back(post.intentAt.value_or(StoreTime()), runId);
        }
    }
    std::sort(held.begin(), held.end());
    report.held = static_cast<int>(held.size());
    for (std::size_t i = 0; i < held.size() && i < kHeldNamed; ++i) {
        report.heldIds.push_back(held[i].second);
    }
    Result<std::vector<StoredRun>> runs =
        store.Runs(ServiceKeyOf(where.settings), where.settings.serviceUser);
    if (!runs) {
        return runs.problem();
    }
    // Runs() gives the newest first.
    for (auto run = runs->rbegin(); run != runs->rend(); ++run) {
        const auto post = posts->find(run->runId);
        report.neverPosted += post == posts->end() || post->second.state == PostState::Failed;
        if (post != posts->end() && post->second.state == PostState::Excluded) {
            if (++report.keptOff <= static_cast<int>(kHeldNamed)) {
                report.keptOffIds.push_back(run->runId);
            }
        }
    }
    return {};
}

Outcome ReadStore(const Workspace& where, StoreTime now, StatusReport& report) {
    Result<std::unique_ptr<RunStore>> opened = OpenStore(where);
    if (!opened) {
        return opened.problem();
    }
    RunStore& store = **opened;
    Result<std::vector<SyncRecord>> last = store.LastSyncs(1);
    Result<std::vector<HostPause>> pauses = store.Pauses(now);
    Result<std::vector<PasswordRefusal>> refusals = store.Refusals();
    if (!last || !pauses || !refusals) {
        return !last ? last.problem() : !pauses ? pauses.problem() : refusals.problem();
    }
    if (!last->empty()) {
        report.lastSync = last->front();
    }
    report.pauses = std::move(*pauses);
    report.refusals = std::move(*refusals);
    return ReadPosts(store, where, report);
}

}  // namespace

bool StatusReport::NeedsRunner() const {
    return held > 0 || !refusals.empty() || (lastSync && lastSync->end == SyncEnd::Failed);
}

Result<std::vector<SyncRecord>> LastSyncs(const Workspace& where, int count) {
    if (!where.StoreExists()) {
        return std::vector<SyncRecord>();
    }
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    return (*store)->LastSyncs(count);
}

ScheduleState ReadSchedule(StoreTime now) {
    ScheduleState state;
    Result<InstalledSchedule> installed = ReadInstalledSchedule();
    if (!installed) {
        state.kind = ScheduleState::Kind::Unreadable;
        state.problem = installed.problem();
        return state;
    }
    if (installed->state == InstalledSchedule::State::None) {
        return state;
    }
    if (installed->state != InstalledSchedule::State::Installed || !installed->schedule) {
        state.kind = ScheduleState::Kind::Unreadable;
        return state;
    }
    const SyncSchedule& schedule = *installed->schedule;
    state.kind = schedule.every == SyncSchedule::Every::Hourly ? ScheduleState::Kind::Hourly
                                                               : ScheduleState::Kind::Daily;
    state.clock = ClockText(schedule);
    state.nextRun = NextRun(schedule, now);
    return state;
}

Result<StatusReport> Status(const Workspace& where, StoreTime now) {
    StatusReport report;
    report.storePath = where.StorePath();
    if (where.StoreExists()) {
        if (Outcome read = ReadStore(where, now, report); !read) {
            return read.problem();
        }
        std::error_code error;
        if (!where.InMemory()) {
            if (const auto bytes = std::filesystem::file_size(report.storePath, error); !error) {
                report.storeBytes = bytes;
            }
        }
    }
    report.schedule = ReadSchedule(now);
    if (Outcome possible = NoticesPossible(); !possible) {
        report.noNotices = possible.problem();
    }
    return report;
}

}  // namespace strivo::jobs
