// What two independent FIT readers make of the files we write, and what our
// reader makes of theirs: Garmin's own SDK (Node, fitsdk.mjs) and gpsbabel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "../support/TempFolder.h"
#include "files/FitReader.h"
#include "files/FitWriter.h"

namespace strivo {
namespace {

using test::TempFolder;

const FitActivity kWritten[] = {
    {1700000000000, 480, 1834567, 5032.13, 321},
    {1700000000000, -300, 3600000, 10000, {}},
    {1262304000999, 345, 1000, 0.01, 1},
    {1420070400000, 0, 2700001, 7777.77, 0},
    {1600000000000, 60, 108000000, 250123.45, 9000},
};

// What the command printed on its standard output; its exit status in `status`.
std::string Output(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, n);
    }
    status = ::pclose(pipe);
    return out;
}

std::string FitSdk(const std::string& arguments, int& status) {
    return Output(
        std::string("node '") + STRIVO_FITSDK_SCRIPT + "' '" + STRIVO_FITSDK_DIR + "' " + arguments,
        status);
}

std::string Shown(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : "-";
}

TEST(FitBySdk, GarminsDecoderReadsEveryFileWeWrite) {
    TempFolder folder;
    std::string files;
    for (std::size_t i = 0; i < std::size(kWritten); ++i) {
        const auto path = folder / ("ours-" + std::to_string(i) + ".fit");
        test::WriteFile(path, *WriteFitActivity(kWritten[i]));
        files += " '" + path.string() + "'";
    }
    int status = 0;
    std::istringstream lines(FitSdk("decode" + files, status));
    ASSERT_EQ(status, 0);
    for (const FitActivity& written : kWritten) {
        std::string name, start, localStart, duration, centimetres, calories;
        int integrity = 0, errors = -1;
        ASSERT_TRUE(lines >> name >> integrity >> errors >> start >> localStart >> duration >>
                    centimetres >> calories);
        SCOPED_TRACE(name);
        EXPECT_EQ(integrity, 1);
        EXPECT_EQ(errors, 0);
        const std::int64_t startMs = written.startUtcMs / 1000 * 1000;
        EXPECT_EQ(start, std::to_string(startMs));
        EXPECT_EQ(localStart, std::to_string(startMs + written.offsetMinutes * 60000LL));
        EXPECT_EQ(duration, std::to_string(written.durationMs));
        EXPECT_EQ(centimetres, std::to_string(std::llround(written.distanceMetres * 100)));
        EXPECT_EQ(calories, Shown(written.calories));
    }
}

// Each file the SDK's lines name, in `folder`, read by us as the SDK read it
// ("file NAME OTHER_SPORTS", then "run ..." for each run); how many files.
std::size_t ExpectReadAsTheSdkDid(std::istream& lines, const std::filesystem::path& folder) {
    std::optional<RunFile> file;
    std::size_t run = 0, files = 0;
    const auto finish = [&] {
        if (file) {
            EXPECT_EQ(run, file->runs.size());
        }
    };
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string kind, name;
        words >> kind;
        if (kind == "file") {
            finish();
            int otherSports = 0;
            words >> name >> otherSports;
            SCOPED_TRACE(name);
            ++files;
            const std::string bytes = test::ReadFile(folder / name);
            MemorySource source(bytes);
            Result<RunFile> read = ReadFit(source);
            EXPECT_TRUE(read.ok()) << static_cast<int>(read.problem().code);
            if (!read) {
                file.reset();
                continue;
            }
            EXPECT_EQ(read->otherSports, otherSports);
            file = std::move(*read);
            run = 0;
            continue;
        }
        if (!file || run >= file->runs.size()) {
            ADD_FAILURE() << "we read no such run: " << line;
            continue;
        }
        const ImportedRun& ours = file->runs[run++];
        std::string start, offset, duration, centimetres, calories;
        words >> start >> offset >> duration >> centimetres >> calories;
        EXPECT_EQ(std::to_string(ours.startUtcMs), start) << line;
        EXPECT_EQ(ours.offsetMinutes ? std::to_string(*ours.offsetMinutes) : "-", offset) << line;
        EXPECT_EQ(std::to_string(ours.durationMs), duration) << line;
        EXPECT_EQ(std::to_string(std::llround(ours.distanceMetres * 100)), centimetres) << line;
        EXPECT_EQ(Shown(ours.calories), calories) << line;
    }
    finish();
    return files;
}

TEST(FitBySdk, WeReadWhatGarminsEncoderWrote) {
    TempFolder folder;
    int status = 0;
    std::istringstream lines(FitSdk("encode '" + folder.path().string() + "'", status));
    ASSERT_EQ(status, 0);
    EXPECT_GE(ExpectReadAsTheSdkDid(lines, folder.path()), 4u);
}

// Files as devices wrote them: a triathlon, whose transitions are no other
// sport, and a whole activity followed by a damaged header, which the SDK
// reads too and we read naming what follows it.
TEST(FitBySdk, WeReadRealFilesAsGarminsDecoderDoes) {
    const std::filesystem::path real = STRIVO_REAL_FILES "/python-fitparse";
    const char* const names[] = {"sample_mulitple_header.fit",
                                 "activity-settings-corruptheader.fit"};
    std::string files;
    for (const char* name : names) {
        files += " '" + (real / name).string() + "'";
    }
    int status = 0;
    std::istringstream lines(FitSdk("read" + files, status));
    ASSERT_EQ(status, 0);
    EXPECT_EQ(ExpectReadAsTheSdkDid(lines, real), std::size(names));

    const std::string cut = test::ReadFile(real / "activity-settings-corruptheader.fit");
    MemorySource source(cut);
    const Result<RunFile> read = ReadFit(source);
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read->warnings.size(), 1u);
    EXPECT_EQ(read->warnings[0].values, std::vector<std::string>{"771"});
    // A watch that never learnt the time counts from its power-on: named so.
    const std::string relative = test::ReadFile(real / "antfs-dump.63.fit");
    MemorySource relativeSource(relative);
    const Result<RunFile> refused = ReadFit(relativeSource);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.problem().code, ProblemCode::FitDeviceRelativeStart);
}

TEST(FitByGpsbabel, ReadsEveryFileWeWrite) {
    TempFolder folder;
    for (const FitActivity& written : kWritten) {
        test::WriteFile(folder / "ours.fit", *WriteFitActivity(written));
        int status = 0;
        const std::string gpx = Output(
            "gpsbabel -i garmin_fit -f '" + (folder / "ours.fit").string() + "' -o gpx -F - 2>&1",
            status);
        EXPECT_EQ(status, 0) << gpx;
        EXPECT_NE(gpx.find("<trk"), std::string::npos) << gpx;
    }
}

TEST(FitByGpsbabel, WeReadTheCoursesItWrites) {
    TempFolder folder;
    test::WriteFile(folder / "loop.gpx", R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1"><trk><trkseg>
<trkpt lat="31.2304" lon="121.4737"><ele>5</ele><time>2024-05-18T22:05:09Z</time></trkpt>
<trkpt lat="31.2310" lon="121.4745"><ele>6</ele><time>2024-05-18T22:05:39Z</time></trkpt>
<trkpt lat="31.2321" lon="121.4760"><ele>7</ele><time>2024-05-18T22:06:19Z</time></trkpt>
</trkseg></trk></gpx>
)");
    int status = 0;
    const std::string said =
        Output("gpsbabel -i gpx -f '" + (folder / "loop.gpx").string() + "' -o garmin_fit -F '" +
                   (folder / "loop.fit").string() + "' 2>&1",
               status);
    ASSERT_EQ(status, 0) << said;
    const std::string bytes = test::ReadFile(folder / "loop.fit");
    MemorySource source(bytes);
    const Result<RunFile> read = ReadFit(source);
    ASSERT_TRUE(read.ok()) << static_cast<int>(read.problem().code);
    EXPECT_TRUE(read->runs.empty());  // a course holds no session
    EXPECT_EQ(read->otherSports, 0);
}

}  // namespace
}  // namespace strivo
