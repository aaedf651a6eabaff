// Runs from files against the stand-ins: the demo's runs written as CSV, TCX
// and FIT read back whole and only once, a bad file among good ones, and
// imported runs kept off the run log until released.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cmath>
#include <fstream>

#include "../files/FileTestSupport.h"
#include "../support/Cp936Literal.h"
#include "../support/RecordingSink.h"
#include "../support/StandInServices.h"
#include "../support/TempFolder.h"
#include "io/PathText.h"
#include "jobs/Download.h"
#include "jobs/Export.h"
#include "jobs/FitExport.h"
#include "jobs/Import.h"
#include "jobs/Settle.h"
#include "jobs/StoredRuns.h"
#include "jobs/Sync.h"

namespace strivo {
namespace {

class ImportTest : public ::testing::Test {
protected:
    // The demo's runs start at +08:00; the CSV's wall times are read in the
    // machine's zone, which is this one.
    void SetUp() override {
        ::setenv("TZ", "Asia/Shanghai", 1);
        ::tzset();
    }
    void TearDown() override {
        ::unsetenv("TZ");
        ::tzset();
    }

    // A workspace of its own: a store of its own in folder `name`.
    jobs::Workspace Where(const std::string& name) {
        std::filesystem::create_directories(m_folder / name);
        return jobs::ForSettingsFile(m_folder / name / "config.ini", m_services.settings(),
                                     m_services.config());
    }
    jobs::ImportTally Import(const jobs::Workspace& where, std::vector<std::filesystem::path> paths,
                             bool post = false) {
        test::RecordingSink sink;
        Result<jobs::ImportTally> tally = jobs::Import(where, {std::move(paths), post}, sink);
        EXPECT_TRUE(tally);
        return tally ? *tally : jobs::ImportTally();
    }
    std::vector<StoredRun> Runs(const jobs::Workspace& where) {
        Result<jobs::StoredRunList> read = jobs::ReadStoredRuns(where, false);
        EXPECT_TRUE(read);
        return read ? read->runs : std::vector<StoredRun>();
    }

    test::TempFolder m_folder;
    test::StandInServices m_services;
};

TEST_F(ImportTest, TheDemosRunsExportedComeBackWholeAndOnlyOnce) {
    const jobs::Workspace home = Where("home");
    RunTable table;
    test::RecordingSink sink;
    ASSERT_TRUE(jobs::Download(home, table, sink));
    const std::vector<StoredRun> downloaded = Runs(home);
    ASSERT_EQ(downloaded.size(), 24u);
    ASSERT_TRUE(jobs::ExportCsv(home, jobs::RowsOfStoredRuns(downloaded), {m_folder / "runs.csv"}));
    ASSERT_TRUE(jobs::ExportTcx(home, {m_folder / "runs.tcx"}));
    ASSERT_TRUE(jobs::ExportFit(home, m_folder / "fit", sink));
    const struct {
        const char* format;
        std::filesystem::path path;
        double metres;  // how near each distance comes back
    } kCases[] = {{"csv", m_folder / "runs.csv", 0.05},
                  {"tcx", m_folder / "runs.tcx", 0.1},
                  {"fit", m_folder / "fit", 0.1}};
    for (const auto& c : kCases) {
        const jobs::Workspace where = Where(c.format);
        const jobs::ImportTally first = Import(where, {c.path});
        EXPECT_EQ(first.imported, 24) << c.format;
        EXPECT_EQ(first.unreadable, 0) << c.format;
        const std::vector<StoredRun> imported = Runs(where);
        ASSERT_EQ(imported.size(), 24u) << c.format;
        for (std::size_t i = 0; i < imported.size(); ++i) {
            const StoredRun& was = downloaded[i];
            const StoredRun& is = imported[i];
            EXPECT_EQ(*is.startUtcMs / 1000, *was.startUtcMs / 1000) << c.format << i;
            EXPECT_EQ(is.startOffsetMinutes, was.startOffsetMinutes) << c.format << i;
            EXPECT_NEAR(*is.distanceMetres, *was.distanceMetres, c.metres) << c.format << i;
            EXPECT_LE(std::abs(*is.durationMs - *was.durationMs), 1000) << c.format << i;
            EXPECT_EQ(is.source, c.format);
        }
        const jobs::ImportTally again = Import(where, {c.path});
        EXPECT_EQ(again.imported, 0) << c.format;
        EXPECT_EQ(again.duplicates, 24) << c.format;
    }
    // Into the store the runs came from: all duplicates of the downloaded runs.
    const jobs::ImportTally home2 = Import(home, {m_folder / "runs.tcx", m_folder / "fit"});
    EXPECT_EQ(home2.imported, 0);
    EXPECT_EQ(home2.duplicates, 48);
}

TEST_F(ImportTest, ABadFileAmongGoodOnesIsNamedAndTheOthersAreRead) {
    const jobs::Workspace where = Where("bad");
    test::RecordingSink sink;
    const std::filesystem::path gpx = m_folder / "good.gpx";
    std::ofstream(gpx) << "<?xml version=\"1.0\"?><gpx version=\"1.1\" creator=\"t\" "
                          "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>"
                          "<trkpt lat=\"31.0\" lon=\"121.0\"><time>2024-03-10T06:00:00Z</time>"
                          "</trkpt><trkpt lat=\"31.01\" lon=\"121.0\"><time>2024-03-10T06:05:00Z"
                          "</time></trkpt></trkseg></trk></gpx>";
    std::ofstream(m_folder / "cut.gpx") << "<?xml version=\"1.0\"?><gpx><trk><trkseg><trkpt";
    std::ofstream(m_folder / "runs.zip") << std::string("PK\x03\x04", 4) << "rest";
    const jobs::ImportTally tally =
        Import(where, {m_folder / "cut.gpx", gpx, m_folder / "runs.zip", m_folder / "none.fit"});
    EXPECT_EQ(tally.imported, 1);
    EXPECT_EQ(tally.unreadable, 3);
    ASSERT_EQ(tally.problems.size(), 3u);
    // The walk's first: an archive that is none, a file missing.
    EXPECT_EQ(tally.problems[0].code, ProblemCode::ImportFileFailed);
    ASSERT_TRUE(tally.problems[0].cause);
    EXPECT_EQ(tally.problems[0].cause->code, ProblemCode::ZipUnreadable);
    EXPECT_EQ(tally.problems[1].code, ProblemCode::FileMissing);
    EXPECT_EQ(tally.problems[2].code, ProblemCode::ImportFileFailed);
    EXPECT_FALSE(tally.ok());
    // Within 60 s and 20 m of the stored run: the same run.
    EXPECT_EQ(Import(where, {gpx}).duplicates, 1);
}

// An export archive as a run service hands it out: activities/ of gzipped
// FIT files (here the demo's runs) beside the service's own index and photos.
TEST_F(ImportTest, AnExportArchiveImportsAsItsFilesWouldAndNamesEachEntry) {
    const jobs::Workspace home = Where("home");
    RunTable table;
    test::RecordingSink sink;
    ASSERT_TRUE(jobs::Download(home, table, sink));
    ASSERT_TRUE(jobs::ExportFit(home, m_folder / "fit", sink));
    std::vector<test::ZipMember> members = {
        {.name = "activities.csv", .bytes = "Activity ID,Activity Date,Activity Name\n"},
        {.name = "media/1.jpg", .bytes = "\xFF\xD8\xFF"}};
    for (const auto& file : std::filesystem::directory_iterator(m_folder / "fit")) {
        members.push_back({.name = "activities/" + file.path().filename().string() + ".gz",
                           .bytes = test::Gzip(test::ReadFile(file.path()))});
    }
    const std::filesystem::path archive = m_folder / "export.zip";
    test::WriteFile(archive, test::Zip(members));

    const jobs::Workspace where = Where("zip");
    test::RecordingSink importing;
    const Result<jobs::ImportTally> tally = jobs::Import(where, {{archive}}, importing);
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->files, 24);
    EXPECT_EQ(tally->imported, 24);
    EXPECT_EQ(tally->unreadable, 0);
    EXPECT_EQ(tally->passedOver, 2u);
    std::size_t named = 0;
    for (const ProgressReport& report : importing.reports()) {
        named += report.file.starts_with(PathText(archive) + "/activities/20") ? 1 : 0;
    }
    EXPECT_EQ(named, 24u);
    // The same runs as the files themselves.
    EXPECT_EQ(Import(where, {m_folder / "fit"}).duplicates, 24);
}

TEST_F(ImportTest, ImportedRunsWaitOffTheRunLogUntilReleasedThenGoWithoutARunId) {
    const jobs::Workspace where = Where("post");
    const std::filesystem::path gpx = m_folder / "one.gpx";
    std::ofstream(gpx) << "<gpx><trk><trkseg><trkpt lat=\"31\" lon=\"121\"><time>"
                          "2024-03-10T06:00:00Z</time></trkpt><trkpt lat=\"31.01\" lon=\"121\">"
                          "<time>2024-03-10T06:05:00Z</time></trkpt></trkseg></trk></gpx>";
    ASSERT_EQ(Import(where, {gpx}).imported, 1);
    const std::string key = Runs(where)[0].runId;
    test::RecordingSink sink;
    SyncTally tally = jobs::Sync(where, RunRows(), sink, {}, {.postAll = true});
    EXPECT_EQ(tally.excluded, 1);
    EXPECT_TRUE(m_services.site.entries().empty()) << "not even under --all";

    const std::vector<std::string> keys{key};
    ASSERT_TRUE(jobs::Settle(where, {jobs::SettleMode::Repost, keys}));
    tally = jobs::Sync(where, RunRows(), sink);
    const auto entries = m_services.site.entries();
    ASSERT_EQ(entries.size(), 1u);
    const auto& entry = entries[0];
    EXPECT_EQ(entry.Field("nikerunid"), "");
    EXPECT_EQ(entry.Field("descrip"), test::Cp936("Strivo导入（GPX）"));
    EXPECT_EQ(entry.Field("dtevent"), "2024-03-10 14:00:00");

    // Kept off again, it stays confirmed: releasing it later cannot post it twice.
    ASSERT_TRUE(jobs::Settle(where, {jobs::SettleMode::Skip, keys}));
    EXPECT_EQ(jobs::ReadPostStates(where)->at(key).state, PostState::Confirmed);
}

}  // namespace
}  // namespace strivo
