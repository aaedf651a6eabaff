// Zip archives read like folders: an export as a run service hands it out,
// names that climb out of the archive, bombs and damaged archives. The
// archives are made by hand here (FileTestSupport.h), never by the library
// that reads them. Under Wine too, in the Windows build.
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>

#include "../support/Cp936Literal.h"
#include "../support/TempFolder.h"
#include "FileTestSupport.h"
#include "files/RunFileReader.h"
#include "files/RunFileWalk.h"
#include "io/PathText.h"

namespace strivo::test::real {
std::span<const unsigned char> EmbeddedFile(std::string_view name);
}  // namespace strivo::test::real

namespace strivo {
namespace {

namespace fs = std::filesystem;
using test::Gzip;
using test::TempFolder;
using test::WriteFile;
using test::Zip;
using test::ZipMember;

const std::string kGpx =
    "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-03-10T06:00:00Z</time></trkpt>"
    "<trkpt lat=\"1.01\" lon=\"2\"><time>2024-03-10T06:10:00Z</time></trkpt></trkseg></trk></gpx>";

std::string RealFile(std::string_view name) {
    const std::span<const unsigned char> bytes = test::real::EmbeddedFile(name);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Names(const RunFilePaths& found) {
    std::vector<std::string> names;
    for (const RunFilePlace& place : found.files) {
        names.push_back(place.Name());
    }
    return names;
}

// The cause's code, or the problem's own where it has none.
ProblemCode Why(const Problem& problem) {
    return problem.cause ? problem.cause->code : problem.code;
}

void ExpectSameRuns(const Result<RunFile>& a, const Result<RunFile>& b, const std::string& name) {
    ASSERT_TRUE(a) << name;
    ASSERT_TRUE(b) << name;
    ASSERT_EQ(a->runs.size(), b->runs.size()) << name;
    EXPECT_FALSE(a->runs.empty()) << name;
    EXPECT_EQ(a->otherSports, b->otherSports) << name;
    for (std::size_t i = 0; i < a->runs.size(); ++i) {
        EXPECT_EQ(a->runs[i].startUtcMs, b->runs[i].startUtcMs) << name;
        EXPECT_EQ(a->runs[i].durationMs, b->runs[i].durationMs) << name;
        EXPECT_EQ(a->runs[i].distanceMetres, b->runs[i].distanceMetres) << name;
        EXPECT_EQ(a->runs[i].calories, b->runs[i].calories) << name;
        EXPECT_EQ(a->runs[i].offsetMinutes, b->runs[i].offsetMinutes) << name;
    }
}

// As a run service's export comes: activities/ of gzipped FIT, GPX and TCX
// files (the gzip files stored, as deflate gains nothing on them), the
// service's own index and photos, in a folder of downloads.
TEST(ZipArchive, AnExportReadsAsItsFilesDoAndItsIndexIsPassedOver) {
    TempFolder folder;
    fs::create_directories(folder / "downloads");
    const struct {
        const char* file;
        const char* entry;
    } kReal[] = {{"garmin-fenix-5-run.fit", "activities/1001.fit.gz"},
                 {"cerknicko-jezero.gpx", "activities/1002.gpx.gz"},
                 {"treadmill_1.tcx", "activities/1003.tcx.gz"}};
    std::vector<ZipMember> members = {{.name = "activities/", .bytes = ""}};
    for (const auto& real : kReal) {
        members.push_back(
            {.name = real.entry, .bytes = Gzip(RealFile(real.file)), .deflate = false});
    }
    const std::string kRun =
        "1,2024-03-11 07:00:00,5.0000,0\xD0\xA1\xCA\xB1"
        "30\xB7\xD6"
        "0\xC3\xEB,300,2024-03-11 08:00:00\r\n";
    members.insert(
        members.end(),
        {{.name = "activities.csv",
          .bytes = "Activity ID,Activity Date,Activity Name,Activity Type\n"
                   "1001,\"Mar 10, 2024, 6:00:00 AM\",Morning Run,Run\n"},
         {.name = "media/1001.jpg", .bytes = "\xFF\xD8\xFF\xE0 not much of a photo"},
         {.name = "profile.csv", .bytes = "Athlete ID,Email\n1,runner@example.org\n"},
         {.name = "runs.csv", .bytes = kRun},
         {.name = test::Cp936("晨跑/晨跑.gpx"), .bytes = kGpx},
         {.name = "older/export.zip", .bytes = Zip({{.name = "a.gpx", .bytes = kGpx}})}});
    const fs::path archive = folder / "downloads" / "export_4821.zip";
    WriteFile(archive, Zip(members));
    WriteFile(folder / "downloads" / "notes.txt", "what is in the export");
    WriteFile(folder / "export-without-a-name", Zip(members));

    const fs::path paths[] = {folder / "downloads", folder / "export-without-a-name"};
    const RunFilePaths found = FindRunFiles(paths);
    const std::string at = PathText(archive) + "/";
    const std::string bare = PathText(folder / "export-without-a-name") + "/";
    const std::vector<std::string> expected = {
        at + "activities/1001.fit.gz",
        at + "activities/1002.gpx.gz",
        at + "activities/1003.tcx.gz",
        at + "older/export.zip",
        at + "runs.csv",
        at + "\xE6\x99\xA8\xE8\xB7\x91/\xE6\x99\xA8\xE8\xB7\x91.gpx",
        bare + "activities/1001.fit.gz",
        bare + "activities/1002.gpx.gz",
        bare + "activities/1003.tcx.gz",
        bare + "older/export.zip",
        bare + "runs.csv",
        bare + "\xE6\x99\xA8\xE8\xB7\x91/\xE6\x99\xA8\xE8\xB7\x91.gpx"};
    EXPECT_EQ(Names(found), expected);
    EXPECT_EQ(found.passedOver, 7u);  // notes.txt, and each archive's index, profile and photo
    EXPECT_TRUE(found.problems.empty());

    for (std::size_t i = 0; i < 3; ++i) {
        const std::string real = RealFile(kReal[i].file);
        MemorySource disk(real);
        ExpectSameRuns(ReadRunFile(found.files[i]), ReadRunFile(disk, kReal[i].file), expected[i]);
    }
    const Result<RunFile> nested = ReadRunFile(found.files[3]);
    ASSERT_FALSE(nested);
    EXPECT_EQ(nested.problem().code, ProblemCode::ImportZip);
    EXPECT_EQ(nested.problem().Value(0), expected[3]);
    for (const std::size_t i : {4, 5}) {
        const Result<RunFile> read = ReadRunFile(found.files[i]);
        ASSERT_TRUE(read) << expected[i];
        EXPECT_EQ(read->runs.size(), 1u) << expected[i];
    }
}

// Nothing is unpacked: a name only names an entry, wherever it points.
TEST(ZipArchive, NamesThatClimbOutOfTheArchiveOnlyNameAnEntry) {
    TempFolder folder;
    fs::create_directories(folder / "in");
    WriteFile(folder / "outside.gpx", "<gpx/>");  // where "../outside.gpx" would lead
    const std::vector<std::string> names = {
        "../outside.gpx",    "a/../../outside.gpx",
        "..\\outside.gpx",   "../../../../../../../../../tmp/x.gpx",
        "/etc/passwd.gpx",   "C:\\Windows\\win.gpx",
        "\x1B[2Jcleared.gpx"};
    std::vector<ZipMember> members;
    for (const std::string& name : names) {
        members.push_back({.name = name, .bytes = kGpx});
    }
    const fs::path archive = folder / "in" / "a.zip";
    WriteFile(archive, Zip(members));
    const auto listing = [&] {
        std::vector<fs::path> all;
        for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
            all.push_back(entry.path());
        }
        return all;
    };
    const std::vector<fs::path> before = listing();

    const RunFilePaths found = FindRunFiles(std::span(&archive, 1));
    ASSERT_EQ(found.files.size(), names.size());
    for (const RunFilePlace& place : found.files) {
        const std::string name = place.Name();
        EXPECT_NE(std::find(names.begin(), names.end(), place.entry.name), names.end()) << name;
        EXPECT_EQ(name, PathText(archive) + "/" + place.entry.name);
        const Result<RunFile> read = ReadRunFile(place);
        ASSERT_TRUE(read) << name;
        ASSERT_EQ(read->runs.size(), 1u) << name;  // the archive's track, not outside.gpx
        EXPECT_EQ(read->runs[0].durationMs, 600'000) << name;
    }
    EXPECT_EQ(listing(), before);
}

// Bounded as a gzip file is: what an archive's run files may inflate to,
// how many files it may list, and never more than an entry declares.
TEST(ZipArchive, BombsAreRefusedBeforeTheyInflate) {
    TempFolder folder;
    const std::string spaces = "<gpx>" + std::string(4 << 20, ' ') + "</gpx>";
    std::vector<ZipMember> shared = {{.name = "0.gpx", .bytes = spaces}};
    for (std::size_t i = 1; i < 300; ++i) {
        shared.push_back({.name = std::to_string(i) + ".gpx", .dataOf = 0});
    }
    std::vector<ZipMember> many;
    for (std::size_t i = 0; i < 65'536; ++i) {
        many.push_back({.name = "m", .deflate = false});
    }
    const struct {
        const char* name;
        std::string bytes;
        ProblemCode archiveCause;  // or None: listed, and the entry refused as read
    } kCases[] = {
        {"declares.zip", Zip({{.name = "a.gpx", .bytes = kGpx, .declaredSize = 2'000'000'000}}),
         ProblemCode::ZipTooLarge},
        {"overlapping.zip", Zip(shared), ProblemCode::ZipTooLarge},
        {"many.zip", Zip(many), ProblemCode::ZipDirectoryTooLarge},
        {"understates.zip", Zip({{.name = "a.gpx", .bytes = spaces, .declaredSize = 100}}),
         ProblemCode::None},
    };
    for (const auto& each : kCases) {
        const fs::path archive = folder / each.name;
        WriteFile(archive, each.bytes);
        const RunFilePaths found = FindRunFiles(std::span(&archive, 1));
        if (each.archiveCause != ProblemCode::None) {
            EXPECT_TRUE(found.files.empty()) << each.name;
            ASSERT_EQ(found.problems.size(), 1u) << each.name;
            EXPECT_EQ(found.problems[0].code, ProblemCode::ImportFileFailed) << each.name;
            EXPECT_EQ(found.problems[0].Value(0), PathText(archive)) << each.name;
            EXPECT_EQ(Why(found.problems[0]), each.archiveCause) << each.name;
            continue;
        }
        ASSERT_EQ(found.files.size(), 1u) << each.name;
        const Result<RunFile> read = ReadRunFile(found.files[0]);
        ASSERT_FALSE(read) << each.name;
        EXPECT_EQ(Why(read.problem()), ProblemCode::ZipEntryUnreadable) << each.name;
    }
}

TEST(ZipArchive, ADamagedArchiveOrEntryIsNamedAndTheRestIsRead) {
    TempFolder folder;
    std::string flipped = Zip({{.name = "flipped.gpx", .bytes = kGpx + std::string(500, ' ')}});
    flipped[48] ^= 0x55;  // inside the deflated data, past the header and the name
    const fs::path mixed = folder / "mixed.zip", cut = folder / "cut.zip";
    WriteFile(
        mixed,
        Zip({{.name = "1-good.gpx", .bytes = kGpx},
             {.name = "2-crc.gpx", .bytes = kGpx, .wrongCrc = true},
             {.name = "3-bzip2.gpx", .bytes = kGpx, .method = 12},
             {.name = "4-secret.gpx", .bytes = kGpx, .encrypted = true},
             {.name = "5-stored-crc.gpx", .bytes = kGpx, .deflate = false, .wrongCrc = true}}));
    const std::string whole = Zip({{.name = "a.gpx", .bytes = kGpx}});
    WriteFile(cut, whole.substr(0, whole.size() - 30));
    WriteFile(folder / "flipped.zip", flipped);

    const fs::path paths[] = {mixed, cut, folder / "flipped.zip"};
    const RunFilePaths found = FindRunFiles(paths);
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_EQ(found.problems[0].Value(0), PathText(cut));
    EXPECT_EQ(Why(found.problems[0]), ProblemCode::ZipUnreadable);
    EXPECT_FALSE(found.problems[0].cause->detail.empty());  // libzip's words
    ASSERT_EQ(found.files.size(), 6u);
    EXPECT_TRUE(ReadRunFile(found.files[0]));
    for (std::size_t i = 1; i < found.files.size(); ++i) {
        const Result<RunFile> read = ReadRunFile(found.files[i]);
        ASSERT_FALSE(read) << found.files[i].Name();
        EXPECT_EQ(read.problem().Value(0), found.files[i].Name());
        EXPECT_EQ(Why(read.problem()), ProblemCode::ZipEntryUnreadable) << found.files[i].Name();
        EXPECT_FALSE(read.problem().cause->detail.empty());
    }
}

}  // namespace
}  // namespace strivo
