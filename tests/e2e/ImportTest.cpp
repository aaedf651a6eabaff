// Runs from files against the stand-ins: the demo's runs written as CSV, TCX
// and FIT read back whole and only once, a bad file among good ones, files
// that hold no activity, what strivo-cli says of an import, and imported runs
// kept off the run log until released.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <tuple>

#include "../files/FileTestSupport.h"
#include "../support/Cp936Literal.h"
#include "../support/RecordingSink.h"
#include "../support/StandInServices.h"
#include "../support/TempFolder.h"
#include "files/FitProtocol.h"
#include "files/FitWriter.h"
#include "files/RunFileReader.h"
#include "history/PlausibleRun.h"
#include "io/PathText.h"
#include "io/RunText.h"
#include "jobs/Download.h"
#include "jobs/Export.h"
#include "jobs/FitExport.h"
#include "jobs/Import.h"
#include "jobs/Settle.h"
#include "jobs/StoredRuns.h"
#include "jobs/Sync.h"
#include "model/ProblemWords.h"

namespace strivo {
namespace {

// The run of 2024-03-10 06:00Z the tests' GPX tracks hold, with calories.
std::string RichTcx() {
    return "<TrainingCenterDatabase><Activities><Activity Sport=\"Running\"><Id>"
           "2024-03-10T06:00:00Z</Id><Lap StartTime=\"2024-03-10T06:00:00Z\"><TotalTimeSeconds>"
           "300</TotalTimeSeconds><DistanceMeters>1112</DistanceMeters><Calories>99</Calories>"
           "</Lap></Activity></Activities></TrainingCenterDatabase>";
}

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

    // strivo-cli run with `args` under LANG=`lang`: its exit status, what it
    // printed on standard output, and on standard error.
    std::tuple<int, std::string, std::string> Cli(const std::string& args, const char* lang) {
        const std::filesystem::path err = m_folder / "err.txt";
        const std::string command = std::string("LC_ALL= LANGUAGE= LANG=") + lang + " " +
                                    STRIVO_CLI + " " + args + " 2>'" + err.string() + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string out;
        char buffer[4096];
        for (std::size_t got; pipe && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, got);
        }
        const int status = pipe ? ::pclose(pipe) : -1;
        return {WEXITSTATUS(status), out, test::ReadFile(err)};
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
    ASSERT_TRUE(jobs::ExportCsv(home, jobs::RunsOfStored(downloaded), {m_folder / "runs.csv"}));
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

// The run service's runs pass as sent, whatever FIT can hold; the export
// bends none of them: each that does not fit is left out and named, and the
// export read back into the same store adds nothing.
TEST_F(ImportTest, AFitExportBendsNoValueAndReadsBackAddingNothing) {
    sim::Accounts accounts = sim::DemoAccounts();
    const struct {
        sim::Run run;
        ProblemCode named;  // None: written whole
    } cases[] = {
        {{"1901", "standard", "1901-03-01T07:00:00+08:00", 5, 1800000, "", 300},
         ProblemCode::FitStartTooEarlyLeftOut},
        {{"1998-", "standard", "1998-07-04T05:24:15+08:00", 5, 1800000, "", 300},
         ProblemCode::FitStartTooEarlyLeftOut},  // a second before FIT's first
        {{"1998", "standard", "1998-07-04T05:24:16+08:00", 5, 1800000, "", 300}, ProblemCode::None},
        {{"2126", "standard", "2126-02-06T06:00:00+00:00", 5, 1800000, "", 300},
         ProblemCode::FitEndTooLateLeftOut},
        {{"long", "standard", "2011-05-01T07:00:00+08:00", 50, 4294967295, "", 300},
         ProblemCode::FitDurationTooLongLeftOut},
        {{"far", "standard", "2011-05-02T07:00:00+08:00", 42950, 3600000, "", 300},
         ProblemCode::FitDistanceTooFarLeftOut},
        {{"hungry", "standard", "2011-05-03T07:00:00+08:00", 10, 3600000, "", 70000},
         ProblemCode::FitCaloriesLeftUnset},
    };
    for (const auto& c : cases) {
        accounts.service.runs.push_back(c.run);
    }
    test::StandInServices services(accounts);
    std::filesystem::create_directories(m_folder / "edges");
    const jobs::Workspace where = jobs::ForSettingsFile(m_folder / "edges" / "config.ini",
                                                        services.settings(), services.config());
    RunTable table;
    test::RecordingSink sink;
    ASSERT_TRUE(jobs::Download(where, table, sink));
    ASSERT_EQ(Runs(where).size(), 31u);

    const Result<jobs::FitExported> exported = jobs::ExportFit(where, m_folder / "fit", sink);
    ASSERT_TRUE(exported);
    EXPECT_EQ(exported->files, 26);
    EXPECT_EQ(exported->leftOut, 5);
    std::map<std::string, ProblemCode> named;
    for (const RunProblem& problem : exported->problems) {
        named[problem.runId] = problem.problem.code;
    }
    for (const auto& c : cases) {
        EXPECT_EQ(named.contains(c.run.id) ? named[c.run.id] : ProblemCode::None, c.named)
            << c.run.id;
    }
    EXPECT_EQ(named.size(), 6u);

    const jobs::ImportTally back = Import(where, {m_folder / "fit"});
    EXPECT_EQ(back.unreadable, 0);
    EXPECT_EQ(back.imported, 0);
    EXPECT_EQ(back.duplicates, 26);
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

// A FIT file of one file_id message of `type` (6 a course, 5 a workout).
std::string FitFileOfType(std::uint8_t type) {
    const std::string data("\x40\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
    std::string file = std::string("\x0e\x10\x54\x08", 4) +
                       std::string(1, static_cast<char>(data.size() + 1)) +
                       std::string("\0\0\0.FIT", 7);
    const std::uint16_t headerCrc = fit::Crc(0, file);
    file += {static_cast<char>(headerCrc & 0xFF), static_cast<char>(headerCrc >> 8)};
    file += data + static_cast<char>(type);
    const std::uint16_t crc = fit::Crc(0, file);
    return file + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8);
}

TEST_F(ImportTest, AFileWithoutAnActivityIsNamedWithWhatItHolds) {
    const struct {
        const char* name;
        std::string content;
        ProblemCode code;
    } cases[] = {
        {"course.tcx",
         "<TrainingCenterDatabase><Courses><Course/></Courses></TrainingCenterDatabase>",
         ProblemCode::ImportCourse},
        {"plan.tcx",
         "<TrainingCenterDatabase><Workouts><Workout/></Workouts></TrainingCenterDatabase>",
         ProblemCode::ImportWorkout},
        {"route.gpx", "<gpx><rte><rtept lat=\"1\" lon=\"2\"/></rte></gpx>",
         ProblemCode::ImportCourse},
        {"points.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"/></gpx>", ProblemCode::ImportNoActivity},
        {"course.fit", FitFileOfType(6), ProblemCode::ImportCourse},
        {"plan.fit", FitFileOfType(5), ProblemCode::ImportWorkout},
        {"settings.fit", FitFileOfType(2), ProblemCode::ImportNoActivity},
    };
    std::vector<std::filesystem::path> paths;
    for (const auto& c : cases) {
        paths.push_back(m_folder / c.name);
        std::ofstream(paths.back(), std::ios::binary) << c.content;
    }
    test::RecordingSink sink;
    const Result<jobs::ImportTally> tally = jobs::Import(Where("none"), {paths}, sink);
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->unreadable, 0) << Describe(tally->problems.at(0));
    ASSERT_EQ(tally->withoutActivity.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(tally->withoutActivity[i].code, cases[i].code) << cases[i].name;
        EXPECT_EQ(tally->withoutActivity[i].Value(0), paths[i].string());
    }
    EXPECT_EQ(tally->counts().withoutActivity, 7);
    EXPECT_EQ(sink.reports().back().warnings.size(), 7u) << "the window names them too";
}

// strivo-cli's import names what each file held, counts in the plural forms
// of either language, gives the keys of the runs it kept off, and `settle
// --repost --imported` releases them; the demo's import says it keeps nothing.
// Runs without calories then total without a warning.
TEST_F(ImportTest, TheCliSaysWhatTheImportDidAndTheKeysToRelease) {
    const auto config =
        "--config '" +
        m_services.WriteSettingsFile(m_folder.path(), m_services.settings()).string() + "'";
    const auto write = [&](const char* name, const std::string& text) {
        std::ofstream(m_folder / name) << text;
        return (m_folder / name).string();
    };
    const auto track = [](const char* start) {
        return "<trk><trkseg><trkpt lat=\"31\" lon=\"121\"><time>" + std::string(start) +
               ":00:00Z</time></trkpt><trkpt lat=\"31.01\" lon=\"121\"><time>" + start +
               ":05:00Z</time></trkpt></trkseg></trk>";
    };
    const std::string one = write("one.gpx", "<gpx>" + track("2024-03-10T06") + "</gpx>");
    const std::string two =
        write("two.gpx", "<gpx>" + track("2024-03-11T06") + track("2024-03-12T06") + "</gpx>");
    const std::string odd =
        write("odd.gpx", "<gpx>" + track("1901-12-13T20") + track("2024-03-13T06") + "</gpx>");
    const std::string rich = write("rich.tcx", RichTcx());
    const std::string course =
        write("course.tcx",
              "<TrainingCenterDatabase><Courses><Course/></Courses></TrainingCenterDatabase>");
    const struct {
        std::string args;
        const char* lang;
        std::vector<std::string> out;
        const char* err;
    } cases[] = {
        // clang-format off
        {"import " + one + " " + course + " " + config, "C",
         {"Imported 1 run from 2 files: 0 already stored, 0 files unreadable, 0 activities of other sports skipped, 1 file with no activity.\n",
          "release the ones to post with 'strivo-cli settle --repost KEY... --config ",
          "or every imported run with 'strivo-cli settle --repost --imported --config ", ": file-20240310T060000Z-1112\n"},
         "course.tcx holds a course (a route to follow), not an activity: nothing to import\n"},
        {"import " + one + " " + two + " " + config, "zh_CN.UTF-8",
         {"从2个文件导入2条记录：1条已有，0个文件无法读取，跳过0项其他运动。\n", "：file-20240311T060000Z-1112 file-20240312T060000Z-1112\n"},
         "的跑步记录已存储为file-20240310T060000Z-1112，不再添加\n"},
        {"settle --repost --imported " + config, "C", {"Released 3 runs"}, ""},
        {"stats " + config, "C", {", 0:15:00; 3 runs without a calorie count\n"}, ""},
        {"runs --tcx " + (m_folder / "out.tcx").string() + " " + config, "C", {"file-20240312T060000Z-1112"}, "Saved 3 runs"},
        {"import " + odd + " " + config, "C",
         {"Imported 1 run from 1 file: 0 already stored, 0 files unreadable, 0 activities of other sports skipped, 1 activity not a run.\n"},
         "odd.gpx: skipped the activity of 1901-12-14 04:00:00: it starts before 1990\n"},
        {"import " + rich + " " + config, "zh_CN.UTF-8",
         {"从1个文件导入0条记录：1条已有，0个文件无法读取，跳过0项其他运动，为1条已有记录补上了卡路里。\n"},
         "rich.tcx：2024-03-10 14:00:00的跑步记录（已存储为file-20240310T060000Z-1112）从此文件补上了99千卡\n"},
        {"import --demo " + one, "C", {"Imported 1 run from 1 file: ", "The demo keeps nothing"}, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        const auto [status, out, err] = Cli(c.args, c.lang);
        EXPECT_EQ(status, 0) << c.args << "\n" << err;
        for (const std::string& piece : c.out) {
            EXPECT_NE(out.find(piece), std::string::npos) << piece << "\n" << out;
        }
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
        EXPECT_EQ(err.find("warning"), std::string::npos) << "no calories is no fault: " << err;
        EXPECT_EQ(out.find("settle") != std::string::npos,
                  c.args.find("import " + one) == 0 || c.args.find("import " + odd) == 0)
            << "the demo has nothing to settle: " << out;
    }
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
    const jobs::ImportTally imported = Import(where, {gpx});
    ASSERT_EQ(imported.imported, 1);
    const std::string key = Runs(where)[0].runId;
    EXPECT_EQ(imported.keptOff, std::vector<std::string>{key}) << "the import names its key";
    test::RecordingSink sink;
    SyncTally tally = jobs::Sync(where, RunList(), sink, {}, {.postAll = true});
    EXPECT_EQ(tally.excluded, 1);
    EXPECT_TRUE(m_services.site.entries().empty()) << "not even under --all";

    // Every imported run not released yet, without naming it.
    const std::vector<std::string> keys{key};
    const Result<jobs::Settled> released =
        jobs::Settle(where, {.mode = jobs::SettleMode::Repost, .imported = true});
    ASSERT_TRUE(released);
    EXPECT_EQ(released->changed, 1);
    tally = jobs::Sync(where, RunList(), sink);
    const auto entries = m_services.site.entries();
    ASSERT_EQ(entries.size(), 1u);
    const auto& entry = entries[0];
    EXPECT_EQ(entry.Field("nikerunid"), "");
    EXPECT_EQ(entry.Field("descrip"), test::Cp936("Strivo导入（GPX）"));
    EXPECT_EQ(entry.Field("dtevent"), "2024-03-10 14:00:00");

    // Kept off again, it stays confirmed: releasing it later cannot post it twice.
    ASSERT_TRUE(jobs::Settle(where, {jobs::SettleMode::Skip, keys}));
    EXPECT_EQ(jobs::ReadPostStates(where)->at(key).state, PostState::Confirmed);
    // Posted, it is what the run log holds: a richer file changes nothing.
    std::ofstream(m_folder / "rich.tcx") << RichTcx();
    EXPECT_EQ(Import(where, {m_folder / "rich.tcx"}).caloriesFilled, 0);
    EXPECT_EQ(Runs(where)[0].calories, "");
}

// What became of each file, in order, for the run log: runs added, those
// already stored (naming the stored one), those that are no run (with why),
// files unreadable or holding no activity. A duplicate from a richer file
// gives an imported run not yet posted the calories it lacked, once.
TEST_F(ImportTest, OnlyPlausibleRunsAreAddedAndEachFileSaysWhatBecameOfIt) {
    const jobs::Workspace where = Where("plausible");
    const auto track = [](const char* from, const char* to) {
        return std::string("<trk><trkseg><trkpt lat=\"31\" lon=\"121\"><time>") + from +
               "</time></trkpt><trkpt lat=\"31.01\" lon=\"121\"><time>" + to +
               "</time></trkpt></trkseg></trk>";
    };
    std::ofstream(m_folder / "mixed.gpx")
        << "<gpx>" + track("2024-03-10T06:00:00Z", "2024-03-10T06:05:00Z") +
               track("1901-12-13T20:45:52Z", "1901-12-13T20:45:52Z") +
               track("2024-03-11T06:00:00Z", "2024-03-11T06:00:10Z") +
               "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>";
    std::ofstream(m_folder / "cut.gpx") << "<gpx><trk>";
    std::ofstream(m_folder / "course.tcx")
        << "<TrainingCenterDatabase><Courses><Course/></Courses></TrainingCenterDatabase>";
    std::ofstream(m_folder / "rich.tcx") << RichTcx();
    test::RecordingSink sink;
    const std::vector<std::filesystem::path> paths = {m_folder / "mixed.gpx", m_folder / "cut.gpx",
                                                      m_folder / "course.tcx"};
    const Result<jobs::ImportTally> tally = jobs::Import(where, {paths}, sink);
    ASSERT_TRUE(tally);
    EXPECT_EQ(tally->notRuns, 3);
    ASSERT_EQ(tally->results.size(), 3u);
    const jobs::ImportedFile& mixed = tally->results[0];
    EXPECT_EQ(mixed.path, paths[0].string());
    EXPECT_EQ(mixed.added, 1);
    ASSERT_EQ(mixed.notRun.size(), 3u);
    const std::pair<ProblemCode, const char*> why[] = {
        {ProblemCode::ImportTrackSkipped, "track 4 has no times"},
        {ProblemCode::ImportNotARun, "1901-12-14 04:45:52: it starts before 1990"},
        {ProblemCode::ImportNotARun, "2024-03-11 14:00:00: 1.1 km in 10 s is not a run"}};
    for (std::size_t i = 0; i < std::size(why); ++i) {
        EXPECT_EQ(mixed.notRun[i].code, why[i].first);
        EXPECT_NE(Describe(mixed.notRun[i]).find(why[i].second), std::string::npos)
            << Describe(mixed.notRun[i]);
    }
    EXPECT_EQ(tally->results[1].unreadable->code, ProblemCode::ImportFileFailed);
    EXPECT_EQ(tally->results[2].withoutActivity->code, ProblemCode::ImportCourse);
    EXPECT_EQ(sink.reports().back().warnings.size(), 5u) << "the window names them too";
    EXPECT_EQ(sink.reports().back().importedFiles.size(), 3u);

    const std::string key = Runs(where)[0].runId;
    for (const int filled : {1, 0}) {
        const jobs::ImportTally rich = Import(where, {m_folder / "rich.tcx"});
        EXPECT_EQ(rich.caloriesFilled, filled);
        ASSERT_EQ(rich.results.at(0).duplicated.size(), 1u);
        EXPECT_EQ(rich.results[0].duplicated[0].Value(2), key) << "names the stored run";
        EXPECT_EQ(rich.results[0].filled.size(), static_cast<std::size_t>(filled));
        EXPECT_EQ(Runs(where)[0].calorieCount, 99);
    }
}

// A file of many runs goes into the store a batch at a time, yet whole or
// not at all: FIT files of one run each chained in one file, each run's
// offset given only after it, and the same file cut short at its end.
TEST_F(ImportTest, AFileOfManyRunsGoesInWholeOrNotAtAll) {
    const jobs::Workspace where = Where("many");
    std::string chained;
    for (std::int64_t i = 0; i < 5000; ++i) {
        chained += WriteFitActivity({1'700'000'000'000 + i * 3'600'000, -300, 1'800'000, 5000, {}})
                       .value_or("");
    }
    test::WriteFile(m_folder / "cut.fit", std::string_view(chained).substr(0, chained.size() - 1));
    test::WriteFile(m_folder / "many.fit", chained);
    EXPECT_EQ(Import(where, {m_folder / "cut.fit"}).unreadable, 1);
    EXPECT_TRUE(Runs(where).empty()) << "the batches stored before the cut are gone";

    test::RecordingSink sink;
    const Result<jobs::ImportTally> many = jobs::Import(where, {{m_folder / "many.fit"}}, sink);
    ASSERT_TRUE(many);
    EXPECT_EQ(many->imported, 5000);
    std::size_t reading = 0;
    for (const ProgressReport& report : sink.reports()) {
        reading += report.step == Step::ImportReading ? 1 : 0;
    }
    EXPECT_GE(reading, 1u) << "progress inside the file";
    const std::vector<StoredRun> runs = Runs(where);
    ASSERT_EQ(runs.size(), 5000u);
    for (const StoredRun& run : runs) {
        ASSERT_EQ(run.startOffsetMinutes, -300) << run.runId;
        if (run.startUtcMs == 1'700'000'000'000) {
            EXPECT_EQ(TextsOf(run).startTime, "2023-11-14T17:13:20-05:00")
                << "as if read so at once";
        }
    }
}

// Real files as devices wrote them: the store holds of each run just what
// its reader read, which FitBySdk and TrackFigures check against Garmin's SDK
// and the points themselves; what is no run is named.
TEST_F(ImportTest, RealFilesStoreWhatTheirReadersRead) {
    const jobs::Workspace where = Where("real");
    const struct {
        const char* file;
        int added, otherSports, notRuns;
    } cases[] = {
        {"python-fitparse/garmin-fenix-5-run.fit", 1, 0, 0},
        {"python-fitparse/garmin-fenix-5-walk.fit", 0, 1, 0},
        {"python-fitparse/sample_mulitple_header.fit", 1, 2, 0},
        {"gpxpy/cerknicko-jezero.gpx", 6, 0, 1},
        {"gpxpy/cerknicko-without-times.gpx", 0, 0, 7},
        {"gpxpy/Mojstrovka.gpx", 0, 0, 1},
        {"dblock-tcx/treadmill_1.tcx", 1, 0, 0},
    };
    std::vector<std::filesystem::path> paths;
    for (const auto& c : cases) {
        paths.push_back(std::filesystem::path(STRIVO_REAL_FILES) / c.file);
    }
    const jobs::ImportTally tally = Import(where, paths);
    ASSERT_EQ(tally.results.size(), std::size(cases));
    std::map<std::int64_t, StoredRun> stored;
    for (StoredRun& run : Runs(where)) {
        stored[run.startUtcMs.value_or(0)] = std::move(run);
    }
    std::size_t runs = 0;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].file);
        const jobs::ImportedFile& result = tally.results[i];
        EXPECT_EQ(result.added, cases[i].added);
        EXPECT_EQ(result.otherSports, cases[i].otherSports);
        EXPECT_EQ(result.notRuns, cases[i].notRuns);
        const Result<RunFile> read = ReadRunFile(paths[i]);
        ASSERT_TRUE(read);
        for (const ImportedRun& run : read->runs) {
            if (WhyNotARun({run.startUtcMs, run.durationMs, run.distanceMetres, run.calories},
                           1'900'000'000'000)) {
                continue;
            }
            ++runs;
            const auto found = stored.find(run.startUtcMs / 1000 * 1000);
            ASSERT_NE(found, stored.end()) << run.startUtcMs;
            EXPECT_EQ(found->second.durationMs, run.durationMs);
            EXPECT_EQ(found->second.distanceMetres, run.distanceMetres);
            EXPECT_EQ(found->second.calorieCount, run.calories);
        }
    }
    EXPECT_EQ(runs, stored.size());
}

}  // namespace
}  // namespace strivo
