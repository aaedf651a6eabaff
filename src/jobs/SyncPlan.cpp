#include "jobs/SyncPlan.h"

#include <set>
#include <string_view>

namespace strivo {

std::vector<PlannedRun> PlanSync(const RunList& runs,
                                 const std::unordered_map<std::string, PostRecord>& posts,
                                 bool postAll) {
    std::vector<PlannedRun> plan;
    plan.reserve(runs.size());
    std::set<std::string_view> seen;
    for (const Run& run : runs) {
        const std::string_view runId = run.id();
        PlannedRun planned{&run, RunAction::Post};
        if (runId.empty()) {
            planned.action = RunAction::WithoutId;
        } else if (!seen.insert(runId).second) {
            planned.action = RunAction::Twice;
        } else if (const auto post = posts.find(std::string(runId)); post != posts.end()) {
            const PostRecord& record = post->second;
            if (record.state == PostState::Excluded) {
                planned.action = RunAction::Excluded;
                plan.push_back(std::move(planned));
                continue;
            }
            // A `sending` row is a sync that died mid-post: unknown too.
            const bool confirmed = record.state == PostState::Confirmed;
            const bool held =
                record.state == PostState::Unknown || record.state == PostState::Sending;
            if (confirmed || held) {
                planned.since = record.outcomeAt ? record.outcomeAt : record.intentAt;
                planned.action = postAll     ? RunAction::Post
                                 : confirmed ? RunAction::AlreadyPosted
                                             : RunAction::Held;
                planned.wasConfirmed = postAll && confirmed;
                planned.wasHeld = postAll && held;
            }
        }
        plan.push_back(std::move(planned));
    }
    return plan;
}

}  // namespace strivo
