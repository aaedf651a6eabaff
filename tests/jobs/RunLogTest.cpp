// The run log's engine: each run's state, the filters, sorting, counts,
// the strip's figures and the removal of imported runs.

#include "jobs/RunLog.h"

#include <gtest/gtest.h>

#include <chrono>

#include "../support/SentRuns.h"
#include "history/RunTotals.h"
#include "io/TimeText.h"
#include "jobs/Remove.h"
#include "jobs/StoreAccess.h"
#include "jobs/WindowPlaces.h"

namespace strivo::jobs {
namespace {

using namespace std::chrono_literals;

Settings Runner() {
    Settings settings;
    settings.serviceUser = "runner";
    settings.siteUser = "poster";
    return settings;
}

// A store holding runs of every state: the run service's 101 to 106 and
// two runs read from a GPX file, one kept off the run log.
class RunLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto store = *OpenStore(m_where);
        const DownloadedRun runs[] = {
            {"101", "2010-03-07T06:48:38+08:00", "5.0", "1500000", "300", ""},  // 5:00/km
            {"102", "2011-01-01T00:30:00+08:00", "10.5", "3150000", "", ""},    // 5:00/km
            {"103", "2011-01-08T07:00:00+08:00", "12", "3480000", "800", ""},   // 4:50/km
            {"104", "2011-01-09T07:00:00+08:00", "5.2", "300000", "100", ""},   // 0:58/km
            {"105", "2011-01-10T07:00:00+08:00", "3", "1080000", "200", ""},    // 6:00/km
            {"106", "2011-01-11", "4", "1200000", "200", ""},                   // no offset
        };
        ASSERT_TRUE(store->StoreRuns(ServiceKeyOf(m_where.settings), "runner", Runs(runs), m_now));
        const SiteKey site = SiteKeyOf(m_where.settings);
        ASSERT_TRUE(store->CommitIntent(site, "101", m_now));
        ASSERT_TRUE(store->RecordOutcome(site, {"101", PostResult::Confirmed, "", m_now}));
        ASSERT_TRUE(store->CommitIntent(site, "103", m_now));
        ASSERT_TRUE(store->RecordOutcome(site, {"103", PostResult::Unknown, "", m_now}));
        ASSERT_TRUE(store->CommitIntent(site, "105", m_now));
        ASSERT_TRUE(
            store->RecordOutcome(site, {"105", PostResult::Failed, "net-timed-out", m_now}));
        ASSERT_TRUE(store->CommitIntent(site, "104", m_now));  // left sending by a crash
        const strivo::Run files[] = {FileRunAt(1306882800000, 8000, 2400000)};    // 2011-06-01
        const strivo::Run keptOff[] = {FileRunAt(1307487600000, 6000, 1800000)};  // 2011-06-08
        ASSERT_TRUE(store->StoreFileRuns(ServiceKeyOf(m_where.settings), "runner", nullptr, "gpx",
                                         "a.gpx", files, m_now));
        ASSERT_TRUE(store->StoreFileRuns(ServiceKeyOf(m_where.settings), "runner", &site, "gpx",
                                         "b.gpx", keptOff, m_now));
        m_fileKey = std::string(files[0].id());
        m_keptOffKey = std::string(keptOff[0].id());
    }

    std::vector<LoggedRun> Read(bool inFlight = false) {
        auto log = ReadRunLog(m_where, inFlight);
        EXPECT_TRUE(log);
        return log ? std::move(log->runs) : std::vector<LoggedRun>();
    }

    // The RunIDs (or "gpx" for a file's run) of the runs shown, in order.
    std::string Shown(const std::vector<LoggedRun>& runs, const RunLogFilter& filter,
                      RunLogSort by = RunLogSort::Date, bool ascending = true) {
        std::string ids;
        for (const std::size_t i : SelectRuns(runs, filter, by, ascending)) {
            ids += (runs[i].run.source.empty() ? runs[i].run.runId : runs[i].run.sourceFile) + " ";
        }
        return ids;
    }

    Workspace m_where = *InMemory(Runner(), {});
    StoreTime m_now = std::chrono::system_clock::now();
    std::string m_fileKey, m_keptOffKey;
};

TEST_F(RunLogTest, EachRunHasItsStateAndTheFiltersLetThroughWhatTheyName) {
    const std::vector<LoggedRun> runs = Read();
    const struct {
        RunLogFilter filter;
        const char* shown;
    } cases[] = {
        {{}, "106 101 102 103 104 105 a.gpx b.gpx "},
        // The year the run started in, in its own offset: 102 ran in 2010 by UTC.
        {{.year = 2011}, "102 103 104 105 a.gpx b.gpx "},
        {{.year = 2010}, "101 "},
        {{.state = RunLogState::Posted}, "101 "},
        {{.state = RunLogState::Waiting}, "106 102 a.gpx "},
        {{.state = RunLogState::KeptOff}, "b.gpx "},
        // Left sending by a sync that died: nobody knows.
        {{.state = RunLogState::Unknown}, "103 104 "},
        {{.state = RunLogState::Failed}, "105 "},
        {{.fromDay = ParseLocalDate("2011-01-08"), .toDay = ParseLocalDate("2011-01-09")},
         "103 104 "},
        {{.state = RunLogState::Waiting, .fromDay = ParseLocalDate("2011-01-01")}, "102 a.gpx "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Shown(runs, c.filter), c.shown);
    }
    EXPECT_EQ(runs[4].state, RunLogState::Failed);
    EXPECT_EQ(runs[4].post->reason, "net-timed-out");
    // While this process's sync posts it, a post `sending` is in flight.
    EXPECT_EQ(Read(/*inFlight=*/true)[3].state, RunLogState::Posting);
    EXPECT_EQ(Shown(Read(true), {.state = RunLogState::Unknown}), "103 104 ");
    EXPECT_EQ(CountRuns(runs, SelectRuns(runs, {}, RunLogSort::Date, true)).perState,
              (std::array<std::size_t, kRunLogStateCount>{1, 3, 1, 2, 0, 1}));
    EXPECT_EQ(RunYears(runs), (std::vector<int>{2011, 2010}));
}

TEST_F(RunLogTest, EachColumnSortsAndTheTotalsAreOfTheRunsShown) {
    const std::vector<LoggedRun> runs = Read();
    const struct {
        RunLogSort by;
        bool ascending;
        const char* shown;
    } cases[] = {
        {RunLogSort::Date, false, "b.gpx a.gpx 105 104 103 102 101 106 "},
        {RunLogSort::Distance, true, "105 106 101 104 b.gpx a.gpx 102 103 "},
        // Equal values in order of start, the runs without one first.
        {RunLogSort::Pace, true, "104 103 106 101 102 a.gpx b.gpx 105 "},
        {RunLogSort::Calories, true, "102 a.gpx b.gpx 104 106 105 101 103 "},
        {RunLogSort::Source, false, "b.gpx a.gpx 105 104 103 102 101 106 "},
        {RunLogSort::State, true, "101 106 102 a.gpx b.gpx 103 104 105 "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Shown(runs, {}, c.by, c.ascending), c.shown) << static_cast<int>(c.by);
    }
    const RunLogCounts counts =
        CountRuns(runs, SelectRuns(runs, {.year = 2011}, RunLogSort::Date, true));
    EXPECT_EQ(counts.runs, 6u);
    EXPECT_EQ(counts.distanceMm, 44'700'000);
    EXPECT_EQ(FormatHms(counts.durationMs), "3:23:30");
}

TEST_F(RunLogTest, TheStripHoldsTheYearTheLongestRunTheFastestPacesAndTheBestWeek) {
    const std::vector<LoggedRun> runs = Read();
    const RunLogStrip strip = StripFigures(runs, 2011);
    EXPECT_EQ(strip.yearRuns, 6u);
    EXPECT_EQ(strip.yearDistanceMm, 44'700'000);
    EXPECT_EQ(runs[*strip.longest].run.runId, "103");
    // 104's 0:58/km is no runner's: 4:50/km over 12 km is the fastest of both.
    EXPECT_EQ(runs[*strip.fastest5].run.runId, "103");
    EXPECT_EQ(runs[*strip.fastest10].run.runId, "103");
    EXPECT_EQ(FormatPace(*runs[*strip.fastest10].paceMsPerKm), "4:50");
    // The week of Monday 2011-01-03: 103 and 104 (Sunday the 9th); 105 on the 10th is the next.
    ASSERT_TRUE(strip.bestWeek);
    EXPECT_EQ(strip.bestWeek->monday, *ParseLocalDate("2011-01-03"));
    EXPECT_EQ(strip.bestWeek->runs, 2u);
    EXPECT_EQ(StripFigures(runs, 2012).yearRuns, 0u);
    EXPECT_FALSE(StripFigures({}, 2011).longest);
}

TEST_F(RunLogTest, OnlyImportedRunsNeverPostedAreRemoved) {
    auto store = *OpenStore(m_where);
    const SiteKey site = SiteKeyOf(m_where.settings);
    // A run sent once, kept off since: it may be on the site.
    const strivo::Run sent[] = {FileRunAt(1308092400000, 7000, 2100000)};
    ASSERT_TRUE(store->StoreFileRuns(ServiceKeyOf(m_where.settings), "runner", nullptr, "gpx",
                                     "c.gpx", sent, m_now));
    ASSERT_TRUE(store->CommitIntent(site, std::string(sent[0].id()), m_now));
    ASSERT_TRUE(
        store->RecordOutcome(site, {std::string(sent[0].id()), PostResult::Unknown, "", m_now}));
    ASSERT_TRUE(*store->SettleExcluded(site, std::vector{std::string(sent[0].id())}, m_now));
    // The same file read into another account keeps its run off the run log.
    const strivo::Run again[] = {FileRunAt(1307487600000, 6000, 1800000)};
    ASSERT_TRUE(store->StoreFileRuns(ServiceKeyOf(m_where.settings), "other", &site, "gpx", "b.gpx",
                                     again, m_now));
    const std::vector<std::string> keys = {
        m_fileKey, "101", "102", m_keptOffKey, std::string(sent[0].id()), "file-nothing"};
    const Result<Removed> removed = RemoveRuns(m_where, keys);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->removed, (std::vector<std::string>{m_fileKey, m_keptOffKey}));
    const std::vector<std::pair<std::string, RemoveRefused>> refused = {
        {"101", RemoveRefused::FromRunService},
        {"102", RemoveRefused::FromRunService},
        {std::string(sent[0].id()), RemoveRefused::Posted},
        {"file-nothing", RemoveRefused::NotStored}};
    EXPECT_EQ(removed->refused, refused);
    EXPECT_EQ(Read().size(), 7u);
    EXPECT_EQ((*store->Posts(site)).at(m_keptOffKey).state, PostState::Excluded);
    EXPECT_EQ(RemoveRuns(m_where, std::vector{m_fileKey})->refused.size(), 1u) << "gone";
}

TEST(RunLogWords, DatesStatesAndPacesReadAsWritten) {
    EXPECT_EQ(ParseLocalDate("1970-01-02"), 1);
    for (const char* bad : {"2010-02-30", "2010-2-3", "2010-02-03x", "", "20100203"}) {
        EXPECT_FALSE(ParseLocalDate(bad)) << bad;
    }
    for (const char* name : {"posted", "waiting", "kept-off", "unknown", "failed"}) {
        EXPECT_STREQ(RunLogStateName(*ParseRunLogState(name)), name);
    }
    EXPECT_FALSE(ParseRunLogState("posting"));
    EXPECT_EQ(FormatPace(299'500), "5:00");
    EXPECT_EQ(FormatPace(4'500'000), "75:00");
}

TEST(WindowPlaces, APlaceIsKeptPerWindowAndReadingMakesNoStore) {
    Workspace where = *InMemory(Runner(), {});
    EXPECT_FALSE(*ReadWindowPlace(where, "run-log"));
    ASSERT_TRUE(KeepWindowPlace(where, "run-log", {10, 20, 800, 600, true}));
    ASSERT_TRUE(KeepWindowPlace(where, "run-log", {-5, 20, 900, 600, false}));
    EXPECT_EQ(*ReadWindowPlace(where, "run-log"), (WindowPlace{-5, 20, 900, 600, false}));
    EXPECT_FALSE(*ReadWindowPlace(where, "other"));
}

}  // namespace
}  // namespace strivo::jobs
