// What a sync does with each row, from what the store holds of its post.
#include "../support/SentRuns.h"
#include "jobs/SyncPlan.h"

#include <gtest/gtest.h>

namespace strivo {
namespace {

const StoreTime kIntent = StoreTime(std::chrono::hours(1));
const StoreTime kOutcome = StoreTime(std::chrono::hours(2));

strivo::Run Row(const char* runId) {
    return TableRun(runId, "2010-04-20 06:30:10", "5.0123", "1510000", "350");
}

TEST(PlanSync, EachRowGetsTheActionItsPostCallsFor) {
    // The post a run has (none: a new run), what a sync does with it, and
    // what it does under --all.
    const struct Case {
        const char* name;
        std::optional<PostState> post;
        RunAction action;
        RunAction actionAll;
        std::optional<StoreTime> since;
    } cases[] = {
        {"new", std::nullopt, RunAction::Post, RunAction::Post, std::nullopt},
        {"confirmed", PostState::Confirmed, RunAction::AlreadyPosted, RunAction::Post, kOutcome},
        {"failed", PostState::Failed, RunAction::Post, RunAction::Post, std::nullopt},
        {"unknown", PostState::Unknown, RunAction::Held, RunAction::Post, kOutcome},
        // A sync that died mid-post left it sending: held as unknown.
        {"sending", PostState::Sending, RunAction::Held, RunAction::Post, kIntent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unordered_map<std::string, PostRecord> posts;
        if (c.post) {
            posts["77"] = {*c.post, kIntent,
                           *c.post == PostState::Sending ? std::nullopt : std::optional(kOutcome),
                           ""};
        }
        const RunList rows{Row("77")};
        for (const bool all : {false, true}) {
            const std::vector<PlannedRun> plan = PlanSync(rows, posts, all);
            ASSERT_EQ(plan.size(), 1u);
            EXPECT_EQ(plan[0].run, &rows[0]);
            EXPECT_EQ(plan[0].action, all ? c.actionAll : c.action) << "all " << all;
            const bool heldOrConfirmed =
                c.action == RunAction::Held || c.action == RunAction::AlreadyPosted;
            EXPECT_EQ(plan[0].since, heldOrConfirmed ? c.since : std::nullopt) << "all " << all;
            EXPECT_EQ(plan[0].wasConfirmed, all && c.post == PostState::Confirmed);
            EXPECT_EQ(plan[0].wasHeld, all && c.action == RunAction::Held);
        }
    }
}

TEST(PlanSync, ARepeatedRunIdGoesOnceAndARowWithoutOneNever) {
    const RunList rows{Row("5"), Row("6"), Row("5"), Row(""), Row("6")};
    for (const bool all : {false, true}) {
        const std::vector<PlannedRun> plan = PlanSync(rows, {}, all);
        std::vector<RunAction> actions;
        for (const PlannedRun& step : plan) {
            actions.push_back(step.action);
        }
        EXPECT_EQ(actions,
                  (std::vector<RunAction>{RunAction::Post, RunAction::Post, RunAction::Twice,
                                          RunAction::WithoutId, RunAction::Twice}));
    }
    EXPECT_TRUE(PlanSync(RunList{}, {}, false).empty()) << "an empty table plans nothing";
}

}  // namespace
}  // namespace strivo
