#include <gtest/gtest.h>

#include <stop_token>
#include <string>

#include "../support/TempFolder.h"
#include "FileTestSupport.h"
#include "files/GzipSource.h"
#include "files/RunFileReader.h"
#include "files/RunFileRecogniser.h"
#include "files/RunFileWalk.h"
#include "io/PathText.h"

namespace strivo {
namespace {

namespace fs = std::filesystem;
using test::Gzip;
using test::TempFolder;
using test::TricklingSource;
using test::WriteFile;

const std::string kGpx =
    "<?xml version=\"1.0\"?>\n<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>"
    "<trkpt lat=\"1\" lon=\"2\"><time>2024-03-10T06:00:00Z</time></trkpt>"
    "<trkpt lat=\"1.01\" lon=\"2\"><time>2024-03-10T06:10:00Z</time></trkpt>"
    "</trkseg></trk></gpx>\n";
const std::string kTcx =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n<!-- made by hand -->\n"
    "<TrainingCenterDatabase xmlns=\"http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2\">"
    "<Activities><Activity Sport=\"Running\"><Id>2024-03-10T06:00:00Z</Id><Lap>"
    "<TotalTimeSeconds>60</TotalTimeSeconds></Lap></Activity></Activities>"
    "</TrainingCenterDatabase>";
const std::string kFit = std::string("\x0E\x10\x2B\x08\x00\x00\x00\x00.FIT\x00\x00", 14);
const std::string kCsv =
    "1,2024-03-10 14:00:00,5.0321,0\xD0\xA1\xCA\xB1"
    "30\xB7\xD6"
    "34\xC3\xEB"
    ",356,2024-03-10 15:10:42\r\n";

struct Inflated {
    std::string bytes;
    Outcome status;
};

Inflated Inflate(std::string_view compressed) {
    TricklingSource source(compressed);
    GzipSource gzip(source);
    Inflated out;
    char piece[5];
    while (const std::size_t got = gzip.Read(piece, sizeof piece)) {
        out.bytes.append(piece, got);
    }
    out.status = gzip.Status();
    return out;
}

TEST(GzipSource, ReadsMembersOneAfterAnotherAndNamesWhatIsWrong) {
    const Inflated two = Inflate(Gzip(kGpx) + Gzip("") + Gzip(kTcx));
    EXPECT_TRUE(two.status);
    EXPECT_EQ(two.bytes, kGpx + kTcx);

    const std::string whole = Gzip(kGpx);
    std::string flipped = whole;
    flipped[whole.size() - 6] ^= 0x01;  // the CRC at the end
    const struct {
        std::string bytes;
        ProblemCode code;
    } cases[] = {
        {"", ProblemCode::GzipTruncated},
        {whole.substr(0, 5), ProblemCode::GzipTruncated},
        {whole.substr(0, whole.size() / 2), ProblemCode::GzipTruncated},
        {whole.substr(0, whole.size() - 1), ProblemCode::GzipTruncated},
        {Gzip(kGpx) + Gzip(kTcx).substr(0, 30), ProblemCode::GzipTruncated},
        {flipped, ProblemCode::GzipDamaged},
        {whole + "trailing words", ProblemCode::GzipDamaged},
        {kGpx, ProblemCode::GzipDamaged},
    };
    for (const auto& each : cases) {
        const Inflated inflated = Inflate(each.bytes);
        ASSERT_FALSE(inflated.status) << each.bytes.size();
        EXPECT_EQ(inflated.status.problem().code, each.code) << each.bytes.size();
    }
}

TEST(RecogniseRunFile, TheContentDecidesAndTheNameMustAgree) {
    const std::string utf16Gpx = std::string("\xFF\xFE<\0g\0p\0x\0 \0/\0>\0", 14);
    const std::string longComment = "<?xml version=\"1.0\"?><!--" + std::string(5000, '-') + "-->";
    const std::string csvTitle = "\xD0\xF2\xBA\xC5,\xC5\xDC\xB2\xBD\xCA\xB1\xBC\xE4\r\n";
    const struct {
        std::string bytes;
        const char* name;
        std::optional<RunFileKind> kind;
        ProblemCode code = ProblemCode::None;
    } cases[] = {
        {kGpx, "a.gpx", RunFileKind{RunFileFormat::Gpx}},
        {kGpx, "a.xml", RunFileKind{RunFileFormat::Gpx}},
        {"\xEF\xBB\xBF<?xml version='1.0'?><!DOCTYPE x [<!ELEMENT gpx ANY>]><p:gpx/>", "a",
         RunFileKind{RunFileFormat::Gpx}},
        {utf16Gpx, "a.GPX", RunFileKind{RunFileFormat::Gpx}},
        {kTcx, "Run.TCX", RunFileKind{RunFileFormat::Tcx}},
        {Gzip(kTcx), "run.tcx.gz", RunFileKind{RunFileFormat::Tcx, true}},
        {Gzip(kGpx), "run.gz", RunFileKind{RunFileFormat::Gpx, true}},
        {kFit, "a.fit", RunFileKind{RunFileFormat::Fit}},
        {kCsv, "runs.csv", RunFileKind{RunFileFormat::Csv}},
        {csvTitle, "runs.txt", RunFileKind{RunFileFormat::Csv}},
        {",2024-03-10,,,", "runs.csv", RunFileKind{RunFileFormat::Csv}},
        {longComment, "a.gpx", RunFileKind{RunFileFormat::Gpx}},
        {longComment, "a.xml", std::nullopt, ProblemCode::ImportNotARunFile},
        {kTcx, "a.gpx", std::nullopt, ProblemCode::ImportNameMismatch},
        {Gzip(kGpx), "a.gpx", std::nullopt, ProblemCode::ImportNameMismatch},
        {kGpx, "a.gpx.gz", std::nullopt, ProblemCode::ImportNameMismatch},
        {kFit, "a.csv", std::nullopt, ProblemCode::ImportNameMismatch},
        {"PK\x03\x04\x14\x00", "runs.gpx", std::nullopt, ProblemCode::ImportZip},
        {Gzip("PK\x03\x04"), "runs.gz", std::nullopt, ProblemCode::ImportNotARunFile},
        {"<html><body/></html>", "a.gpx", std::nullopt, ProblemCode::ImportNotARunFile},
        {"\x89PNG\r\n", "a.png", std::nullopt, ProblemCode::ImportNotARunFile},
        {"", "a.tcx", std::nullopt, ProblemCode::ImportNotARunFile},
    };
    for (const auto& each : cases) {
        const Result<RunFileKind> kind = RecogniseRunFile(each.bytes, each.name);
        if (each.kind) {
            ASSERT_TRUE(kind) << each.name << " " << static_cast<int>(kind.problem().code);
            EXPECT_EQ(*kind, *each.kind) << each.name;
        } else {
            ASSERT_FALSE(kind) << each.name;
            EXPECT_EQ(kind.problem().code, each.code) << each.name;
            EXPECT_EQ(kind.problem().Value(0), each.name);
        }
    }
    const Result<RunFileKind> mismatch = RecogniseRunFile(Gzip(kTcx), "Run.GPX");
    ASSERT_FALSE(mismatch);
    EXPECT_EQ(mismatch.problem().values, (std::vector<std::string>{"Run.GPX", ".tcx.gz", ".gpx"}));
}

TEST(ReadRunFile, ReadsFilesOnDiskThroughGzipAndNamesTheFileWithWhatWentWrong) {
    TempFolder folder;
    const fs::path gz = folder / "morning.gpx.gz", cut = folder / "cut.tcx.gz",
                   csv = folder / "runs.csv", tcx = folder / "misnamed.gpx";
    WriteFile(gz, Gzip(kGpx) + Gzip(""));
    const std::string compressed = Gzip(kTcx);
    WriteFile(cut, compressed.substr(0, compressed.size() - 4));
    WriteFile(csv, kCsv);
    WriteFile(tcx, kTcx);

    const Result<RunFile> gpx = ReadRunFile(gz);
    ASSERT_TRUE(gpx);
    EXPECT_EQ(gpx->format, RunFileFormat::Gpx);
    ASSERT_EQ(gpx->runs.size(), 1u);
    EXPECT_EQ(gpx->runs[0].durationMs, 600'000);
    const Result<RunFile> runs = ReadRunFile(csv);
    ASSERT_TRUE(runs);
    EXPECT_EQ(runs->runs.size(), 1u);

    const Result<RunFile> truncated = ReadRunFile(cut);
    ASSERT_FALSE(truncated);
    EXPECT_EQ(truncated.problem().code, ProblemCode::ImportFileFailed);
    EXPECT_EQ(truncated.problem().Value(0), PathText(cut));
    ASSERT_TRUE(truncated.problem().cause);
    EXPECT_EQ(truncated.problem().cause->code, ProblemCode::GzipTruncated);

    const Result<RunFile> misnamed = ReadRunFile(tcx);
    ASSERT_FALSE(misnamed);
    EXPECT_EQ(misnamed.problem().code, ProblemCode::ImportNameMismatch);

    const Result<RunFile> missing = ReadRunFile(folder / "none.gpx");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.problem().code, ProblemCode::FileCannotOpen);
}

// A stop asked for in the middle of a file ends its reading within the piece
// in hand, through gzip too: an import stops at once, whatever the file's size.
TEST(ReadRunFile, AStopEndsTheFileInHandAtOnce) {
    std::string points;
    for (int i = 0; i < 20000; ++i) {
        points += "<trkpt lat=\"1\" lon=\"2\"><time>2024-03-10T06:00:00Z</time></trkpt>";
    }
    const std::string gpx = "<gpx><trk><trkseg>" + points + "</trkseg></trk></gpx>";
    // Asks for the stop itself, once the reading is under way.
    class Stopping : public ByteSource {
    public:
        Stopping(std::string_view bytes, std::stop_source& stop) : m_bytes(bytes), m_stop(stop) {}
        std::size_t Read(char* into, std::size_t room) override {
            if (++reads == 2) {
                m_stop.request_stop();
            }
            return m_bytes.Read(into, std::min<std::size_t>(room, 4096));
        }
        int reads = 0;

    private:
        MemorySource m_bytes;
        std::stop_source& m_stop;
    };
    for (const bool gzip : {false, true}) {
        const std::string bytes = gzip ? Gzip(gpx) : gpx;
        std::stop_source stop;
        Stopping source(bytes, stop);
        const Result<RunFile> read =
            ReadRunFile(source, gzip ? "long.gpx.gz" : "long.gpx", stop.get_token());
        ASSERT_FALSE(read);
        EXPECT_EQ(read.problem().code, ProblemCode::ImportStopped);
        EXPECT_LE(source.reads, 3);
    }
}

TEST(FindRunFiles, WalksFoldersInNameOrderOnceEachAndReportsWhatItCannotWalk) {
    TempFolder folder;
    const fs::path top = folder / "runs";
    fs::create_directories(top / "b" / "deeper");
    fs::create_directories(top / "a");
    for (const char* name : {"c.GPX", "a/2.tcx.gz", "a/1.fit", "b/deeper/x.csv", "b/notes.txt",
                             "b/photo.jpg", "B.tcx", "loose.dat", "b/export.ZIP"}) {
        WriteFile(top / name, "x");
    }
    std::error_code noLinks;
    fs::create_directory_symlink("..", top / "b" / "up", noLinks);
    if (!noLinks) {
        fs::create_symlink("nowhere.gpx", top / "a" / "3.gpx");
    }
    const fs::path named[] = {top / "loose.dat", top, folder / "missing.gpx", top / "a"};
    const RunFilePaths found = FindRunFiles(named);

    std::vector<fs::path> expected = {top / "loose.dat",
                                      top / "B.tcx",
                                      top / "a" / "1.fit",
                                      top / "a" / "2.tcx.gz",
                                      top / "b" / "deeper" / "x.csv",
                                      top / "c.GPX"};
    std::vector<fs::path> paths;
    for (const RunFilePlace& place : found.files) {
        paths.push_back(place.path);
    }
    EXPECT_EQ(paths, expected);
    EXPECT_EQ(found.passedOver, 3u);  // loose.dat, seen again inside its folder, and b's two
    std::vector<ProblemCode> codes;
    for (const Problem& problem : found.problems) {
        codes.push_back(problem.code);
    }
    // export.ZIP is walked as an archive, and is none.
    if (noLinks) {
        EXPECT_EQ(codes, (std::vector<ProblemCode>{ProblemCode::ImportFileFailed,
                                                   ProblemCode::FileMissing}));
    } else {
        EXPECT_EQ(codes, (std::vector<ProblemCode>{ProblemCode::FileCannotFollow,
                                                   ProblemCode::ImportFileFailed,
                                                   ProblemCode::FileMissing}));
        EXPECT_EQ(found.problems[0].Value(0), PathText(top / "a" / "3.gpx"));
    }
}

}  // namespace
}  // namespace strivo
