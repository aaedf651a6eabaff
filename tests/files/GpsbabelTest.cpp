// Files written by gpsbabel from a track made here, and real GPX files as
// devices wrote them, read by Strivo and checked against what
// track_figures.py works out from the same files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "../support/TempFolder.h"
#include "files/RunFileReader.h"

namespace strivo {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using test::WriteFile;

bool Have(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

struct Figures {
    std::string sport;
    std::int64_t startMs = 0;
    std::int64_t durationMs = 0;
    double metres = 0;
};

std::vector<Figures> FiguresOf(const fs::path& file) {
    const std::string command = "python3 " STRIVO_TRACK_FIGURES " " + Quoted(file);
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[512];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    if (pipe != nullptr) {
        ::pclose(pipe);
    }
    std::vector<Figures> figures;
    std::istringstream lines(output);
    Figures each;
    while (lines >> each.sport >> each.startMs >> each.durationMs >> each.metres) {
        figures.push_back(each);
    }
    return figures;
}

// A run of two segments around a park, 1,500 points a second apart with a
// pause of five minutes between, an hour east of UTC.
std::string MadeTrack() {
    std::string gpx =
        "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"strivo tests\" "
        "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><name>Park laps</name>";
    unsigned noise = 12345;
    int second = 0;
    for (const int points : {900, 600}) {
        gpx += "<trkseg>";
        for (int i = 0; i < points; ++i, ++second) {
            noise = noise * 1103515245u + 12345u;
            const double angle = second * 0.004;
            const double jitter = static_cast<double>(noise >> 16 & 0xFF) * 1e-7;
            char point[200];
            std::snprintf(point, sizeof point,
                          "<trkpt lat=\"%.7f\" lon=\"%.7f\"><time>2024-03-10T07:%02d:%02d+01:00"
                          "</time></trkpt>\n",
                          31.2 + 0.004 * std::sin(angle) + jitter,
                          121.45 + 0.005 * std::cos(angle) - jitter, second / 60 % 60, second % 60);
            gpx += point;
        }
        second += 300;
        gpx += "</trkseg>";
    }
    return gpx + "</trk></gpx>\n";
}

class Gpsbabel : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Have("gpsbabel") || !Have("python3")) {
            GTEST_SKIP() << "gpsbabel and python3 are needed (scripts/install-deps.sh)";
        }
        WriteFile(m_folder / "made.gpx", MadeTrack());
    }

    fs::path Convert(const std::string& output, const std::string& name) {
        const fs::path file = m_folder / name;
        const std::string command = "gpsbabel -i gpx -f " + Quoted(m_folder / "made.gpx") + " -o " +
                                    output + " -F " + Quoted(file);
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return file;
    }

    TempFolder m_folder;
};

TEST_F(Gpsbabel, ItsGpxAndTcxReadAsThePointsSay) {
    const struct {
        std::string output;
        std::string name;
    } cases[] = {
        {"gpx,gpxver=1.0", "v10.gpx"},
        {"gpx,gpxver=1.1", "v11.gpx"},
        {"gtrnctr,course=0,sport=Running", "run.tcx"},
    };
    for (const auto& each : cases) {
        const fs::path file = Convert(each.output, each.name);
        const std::vector<Figures> expected = FiguresOf(file);
        ASSERT_EQ(expected.size(), 1u) << each.name;
        // Through gzip too, as a downloaded archive of runs often is.
        const fs::path gz = file.string() + ".gz";
        ASSERT_EQ(std::system(("gzip -c " + Quoted(file) + " > " + Quoted(gz)).c_str()), 0);
        for (const fs::path& path : {file, gz}) {
            const Result<RunFile> read = ReadRunFile(path);
            ASSERT_TRUE(read) << path << " " << static_cast<int>(read.problem().code);
            ASSERT_EQ(read->runs.size(), 1u) << path;
            EXPECT_EQ(read->otherSports, 0);
            const ImportedRun& run = read->runs[0];
            EXPECT_EQ(run.startUtcMs, expected[0].startMs) << path;
            EXPECT_EQ(run.startUtcMs, 1'710'050'400'000);  // 07:00 at +01:00
            EXPECT_EQ(run.durationMs, expected[0].durationMs) << path;
            EXPECT_NEAR(run.distanceMetres, expected[0].metres, expected[0].metres * 0.005) << path;
            EXPECT_FALSE(run.offsetMinutes);
        }
    }
}

TEST_F(Gpsbabel, ItsTcxOfAnotherSportCountsAsOther) {
    const fs::path file = Convert("gtrnctr,course=0,sport=Biking", "ride.tcx");
    ASSERT_EQ(FiguresOf(file).at(0).sport, "Biking");
    const Result<RunFile> read = ReadRunFile(file);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->runs.empty());
    EXPECT_EQ(read->otherSports, 1);
}

// Each timed track a run as its points say, and each track with too few
// times named: the runs an import stores from these files are these.
TEST(TrackFigures, RealGpxFilesReadAsTheirPointsSay) {
    if (!Have("python3")) {
        GTEST_SKIP() << "python3 is needed";
    }
    for (const char* name :
         {"cerknicko-jezero.gpx", "cerknicko-without-times.gpx", "Mojstrovka.gpx"}) {
        SCOPED_TRACE(name);
        const fs::path file = fs::path(STRIVO_REAL_FILES) / "gpxpy" / name;
        const Result<RunFile> read = ReadRunFile(file);
        ASSERT_TRUE(read);
        std::size_t run = 0, skipped = 0;
        for (const Figures& track : FiguresOf(file)) {
            if (track.startMs == -1) {
                ++skipped;
                continue;
            }
            ASSERT_LT(run, read->runs.size());
            const ImportedRun& ours = read->runs[run++];
            EXPECT_EQ(ours.startUtcMs, track.startMs);
            EXPECT_EQ(ours.durationMs, track.durationMs);
            EXPECT_NEAR(ours.distanceMetres, track.metres, 0.01);
        }
        EXPECT_EQ(run, read->runs.size());
        EXPECT_EQ(read->skipped.size(), skipped);
        EXPECT_GT(run + skipped, 0u);
    }
}

}  // namespace
}  // namespace strivo
