#include <gtest/gtest.h>

#include <string>

#include "FileTestSupport.h"
#include "files/GpxReader.h"
#include "files/TcxReader.h"
#include "files/XmlReader.h"
#include "files/XmlTokenGuard.h"

namespace strivo {
namespace {

using test::TricklingSource;

// 2024-03-10T06:00:00Z, and one step of 0.01° along a meridian on the
// sphere of radius 6,371,008.8 m.
constexpr std::int64_t kSixUtcMs = 1'710'050'400'000;
constexpr double kStepMetres = 1111.9508023;

Result<RunFile> Gpx(std::string_view document) {
    MemorySource source(document);
    return ReadGpx(source);
}

Result<RunFile> Tcx(std::string_view document) {
    MemorySource source(document);
    return ReadTcx(source);
}

std::string Point(double latitude, std::string_view time) {
    return "<trkpt lat=\"" + std::to_string(latitude) + "\" lon=\"0\">" +
           (time.empty() ? "" : "<time>" + std::string(time) + "</time>") + "</trkpt>\n";
}

std::string Track(std::string_view head, std::string_view points) {
    return "<trk>" + std::string(head) + "<trkseg>" + std::string(points) + "</trkseg></trk>\n";
}

std::string Gpx11(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n" +
           std::string(body) + "</gpx>\n";
}

const std::string kTwoPoints =
    Point(10, "2024-03-10T06:00:00Z") + Point(10.01, "2024-03-10T06:10:00Z");

TEST(ReadGpx, TracksOfRunningOrOfNoTypeAreRunsOtherTypesAreCountedEmptyOnesPassed) {
    const std::string document =
        Gpx11(Track("<name>a</name><type> Running </type>", kTwoPoints) + Track("", kTwoPoints) +
              Track("<type>RUN</type>", kTwoPoints) + Track("<type>cycling</type>", kTwoPoints) +
              Track("<type>running</type>", "") + "<trk><type>hiking</type></trk>");
    const Result<RunFile> file = Gpx(document);
    ASSERT_TRUE(file) << file.problem().detail;
    EXPECT_EQ(file->format, RunFileFormat::Gpx);
    EXPECT_EQ(file->runs.size(), 3u);
    EXPECT_EQ(file->otherSports, 1);
}

TEST(ReadGpx, StartIsTheEarliestInstantDurationSpansSegmentsDistanceStaysInsideThem) {
    // Two segments: 2 steps, a jump of 50 steps not walked, then 1 step.
    // Offsets only place the instants; a time inside an extension is not the point's.
    const std::string document =
        Gpx11("<trk><trkseg>" + Point(10, "2024-03-10T14:00:00+08:00") +
              Point(10.01, "2024-03-10T06:05:00.250Z") +
              "<trkpt lat=\"10.02\" lon=\"0\"><time>2024-03-10T01:10:00-05:00</time>"
              "<extensions><x:time xmlns:x=\"urn:other\">2024-03-10T09:00:00Z</x:time></extensions>"
              "</trkpt></trkseg><trkseg>" +
              Point(10.52, "2024-03-10T06:30:00Z") + Point(10.53, "2024-03-10T06:40:00Z") +
              "</trkseg></trk>");
    for (const bool trickle : {false, true}) {
        MemorySource whole(document);
        TricklingSource pieces(document);
        const Result<RunFile> file =
            trickle ? ReadGpx(static_cast<ByteSource&>(pieces)) : ReadGpx(whole);
        ASSERT_TRUE(file) << file.problem().detail;
        ASSERT_EQ(file->runs.size(), 1u);
        const ImportedRun& run = file->runs[0];
        EXPECT_EQ(run.startUtcMs, kSixUtcMs);
        EXPECT_FALSE(run.offsetMinutes);
        EXPECT_EQ(run.durationMs, 40 * 60 * 1000);
        EXPECT_NEAR(run.distanceMetres, 3 * kStepMetres, 0.01);
        EXPECT_FALSE(run.calories);
    }
}

TEST(ReadGpx, ReadsGpx10AndFilesWithoutOrWithPrefixedNamespacesButNotForeignElements) {
    const std::string track = Track("", kTwoPoints);
    const struct {
        std::string document;
        std::size_t runs;
    } cases[] = {
        {"<gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\">" + track + "</gpx>", 1},
        {"<gpx>" + track + "</gpx>", 1},
        {"<g:gpx xmlns:g=\"http://www.topografix.com/GPX/1/1\"><g:trk><g:trkseg>"
         "<g:trkpt lat=\"1\" lon=\"2\"><g:time>2024-03-10T06:00:00Z</g:time></g:trkpt>"
         "</g:trkseg></g:trk></g:gpx>",
         1},
        {Gpx11("<x:trk xmlns:x=\"urn:other\"><x:trkseg>" + kTwoPoints + "</x:trkseg></x:trk>"), 0},
        {"<kml><trk><trkseg>" + kTwoPoints + "</trkseg></trk></kml>", 0},
    };
    for (const auto& each : cases) {
        const Result<RunFile> file = Gpx(each.document);
        ASSERT_TRUE(file) << each.document;
        EXPECT_EQ(file->runs.size(), each.runs) << each.document;
    }
}

TEST(ReadGpx, ARunningTrackWithoutTimesIsRefusedNamingIt) {
    const std::string untimed = Point(1, "") + Point(1.01, "");
    const Result<RunFile> unnamed = Gpx(
        Gpx11(Track("", kTwoPoints) + Track("<type>Hiking</type>", untimed) + Track("", untimed)));
    ASSERT_FALSE(unnamed);
    EXPECT_EQ(unnamed.problem().code, ProblemCode::GpxTrackWithoutTimes);
    EXPECT_EQ(unnamed.problem().values, (std::vector<std::string>{"3"}));

    // A long name is no fault of the file: it is quoted in part.
    const Result<RunFile> named =
        Gpx(Gpx11(Track("<name>Morning &amp; " + std::string(150, 'x') + "</name>", untimed)));
    ASSERT_FALSE(named);
    EXPECT_EQ(named.problem().code, ProblemCode::GpxNamedTrackWithoutTimes);
    EXPECT_EQ(named.problem().values,
              (std::vector<std::string>{"1", "Morning & " + std::string(54, 'x')}));
}

TEST(ReadGpx, ValuesThatDoNotReadAreRefusedWithTheirLine) {
    const struct {
        std::string points;
        std::vector<std::string> values;
    } cases[] = {
        {"<trkpt lat=\"north\" lon=\"0\"/>", {"3", "lat", "north"}},
        {"<trkpt lat=\"91\" lon=\"0\"/>", {"3", "lat", "91"}},
        {"<trkpt lat=\"1\"/>", {"3", "lon", ""}},
        {"<trkpt lat=\"1\" lon=\"nan\"/>", {"3", "lon", "nan"}},
        {Point(1, "2024-02-30T06:00:00Z"), {"3", "time", "2024-02-30T06:00:00Z"}},
        {Point(1, "yesterday"), {"3", "time", "yesterday"}},
        {Point(1, "2024-03-10T06:00:00+25:00"), {"3", "time", "2024-03-10T06:00:00+25:00"}},
        {Point(1, std::string(200, '1')), {"3", "time", std::string(64, '1')}},
    };
    for (const auto& each : cases) {
        const Result<RunFile> file = Gpx(Gpx11(Track("", each.points)));
        ASSERT_FALSE(file) << each.points;
        EXPECT_EQ(file.problem().code, ProblemCode::XmlBadValue) << each.points;
        EXPECT_EQ(file.problem().values, each.values) << each.points;
    }
}

// Entity expansion would take gigabytes; a declared entity stops the reading
// at once, and nothing outside the document is ever read.
TEST(XmlReader, DocumentsDeclaringEntitiesAreRefusedAndNothingExternalIsRead) {
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) {
            laughs += "&l" + std::to_string(i - 1) + ";";
        }
        laughs += "\">\n";
    }
    laughs += "]>\n<gpx><trk><name>&l9;</name></trk></gpx>";
    const std::string external =
        "<!DOCTYPE gpx [<!ENTITY secret SYSTEM \"file:///etc/passwd\">]>"
        "<gpx><trk><name>&secret;</name></trk></gpx>";
    const std::string parameter =
        "<!DOCTYPE gpx [<!ENTITY % p SYSTEM \"http://127.0.0.1:9/x.dtd\"> %p;]><gpx/>";
    for (const std::string& document : {laughs, external, parameter}) {
        const Result<RunFile> file = Gpx(document);
        ASSERT_FALSE(file) << document;
        EXPECT_EQ(file.problem().code, ProblemCode::XmlEntitiesRefused) << document;
    }
    // A document type that names an outside DTD, and declares nothing, reads.
    const Result<RunFile> typed =
        Gpx("<!DOCTYPE gpx SYSTEM \"http://127.0.0.1:9/gpx.dtd\">\n<gpx>" + Track("", kTwoPoints) +
            "</gpx>");
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->runs.size(), 1u);
}

TEST(XmlReader, BrokenAndTooDeepDocumentsAreRefusedWithWhere) {
    const Result<RunFile> cut = Gpx(Gpx11(Track("", kTwoPoints)).substr(0, 200));
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.problem().code, ProblemCode::XmlMalformed);
    EXPECT_EQ(cut.problem().Value(0), "3");
    EXPECT_FALSE(cut.problem().detail.empty());

    std::string deep = "<gpx>";
    for (int i = 0; i < 300; ++i) {
        deep += "<e>";
    }
    const Result<RunFile> tooDeep = Gpx(deep);
    ASSERT_FALSE(tooDeep);
    EXPECT_EQ(tooDeep.problem().code, ProblemCode::XmlTooDeep);
}

// A token of markup is what expat holds whole until it ends: a '>' in a
// quoted value or a comment ends none, text and CDATA are none. UTF-16 is
// read by the unit, whichever way its bytes are split.
TEST(XmlTokenGuard, FollowsTokensAsExpatHoldsThemInEveryEncoding) {
    const struct {
        std::string_view document;
        std::size_t open;  // bytes of the token still open, a byte a character
    } cases[] = {
        {"<gpx a=\"x>y", 11},
        {"<gpx a='\"'>", 0},
        {"<!-- a > 'b' --", 15},
        {"<!-- a > 'b' -->", 0},
        {"<!---->", 0},
        {"<![CDATA[ <a b=' ", 0},
        {"<![CDATA[ ]]><b", 2},
        {"<?pi a > b ?", 12},
        {"<?pi ?>", 0},
        {"<!DOCTYPE a [ <!ENTITY e \"]>\"> <!-- ']>' --> ]", 46},
        {"<!DOCTYPE a [ <!ENTITY e \"]>\"> <!-- ']>' --> ]>", 0},
        {"<a>text &amp", 4},
        {"<a>text &amp;", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        XmlTokenGuard plain;
        ASSERT_TRUE(plain.Scan(c.document));
        EXPECT_EQ(plain.OpenToken(), c.open);
        for (const bool bigEndian : {false, true}) {
            XmlTokenGuard wide;
            std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
            for (const char ascii : c.document) {
                bytes += bigEndian ? std::string{'\0', ascii} : std::string{ascii, '\0'};
            }
            for (const char byte : bytes) {
                ASSERT_TRUE(wide.Scan({&byte, 1}));
            }
            EXPECT_EQ(wide.OpenToken(), 2 * c.open) << bigEndian;
        }
    }
}

// Expat scans an unfinished token again with each piece it is given, so a
// long one costs its length squared: past 1 MiB it is refused as it comes,
// named by its line and first characters; a '>' in a quoted value or a
// comment ends nothing, and a tag of 1 MiB exactly is read. Text and CDATA, handed out as they
// come, may run on.
TEST(XmlReader, MarkupPast1MiBIsRefusedNamingItWhileLongTextIsRead) {
    const std::string mib(XmlReader::kTokenLimit, 'a');
    const std::string head = "<trkpt lat=\"10\" lon=\"0\" note=\"";
    // UTF-16, its markup ASCII beside zero bytes.
    std::string wide = "\xFF\xFE";
    std::string narrow = Gpx11(Track("", head + mib.substr(0, mib.size() / 2) + "\"/>"));
    for (const char c : narrow.replace(narrow.find("UTF-8"), 5, "UTF-16")) {
        wide += {c, '\0'};
    }
    const struct {
        std::string document;
        std::vector<std::string> values;
    } refused[] = {
        {Gpx11(Track("", head + mib + "\"/>")), {"3", head + "aa"}},
        // One byte past the limit, whatever pieces it comes in.
        {Gpx11(Track("", head + mib.substr(31) + "\">")), {"3", head + "aa"}},
        {wide, {"3", head + "aa"}},
        {Gpx11("<!--\n" + mib + "-->"), {"3", "<!-- " + std::string(27, 'a')}},
        {Gpx11("<" + mib + "/>"), {"3", "<" + std::string(31, 'a')}},
        {Gpx11("<?pi " + mib + "?>"), {"3", "<?pi " + std::string(27, 'a')}},
        {"<!DOCTYPE gpx [\n<!-- " + mib + " -->]><gpx/>",
         {"1", "<!DOCTYPE gpx [ <!-- " + std::string(11, 'a')}},
    };
    for (const auto& c : refused) {
        const Result<RunFile> file = Gpx(c.document);
        ASSERT_FALSE(file) << c.values[1];
        EXPECT_EQ(file.problem().code, ProblemCode::XmlTokenTooLong) << c.values[1];
        EXPECT_EQ(file.problem().values, c.values);
    }
    const std::string half(XmlReader::kTokenLimit / 2, '>');
    const std::string readable =
        Gpx11("<!-- '" + half + "<a b=\"' -->" + "<desc>" + mib + mib + "</desc><desc><![CDATA[" +
              mib + "<" + mib + "]]></desc>" +
              Track("", head + "'" + std::string(XmlReader::kTokenLimit - 33, '>') + "\">" +
                            "<time>2024-03-10T06:00:00Z</time></trkpt>" +
                            Point(10.01, "2024-03-10T06:10:00Z")));
    const Result<RunFile> file = Gpx(readable);
    ASSERT_TRUE(file) << static_cast<int>(file.problem().code) << " " << file.problem().detail;
    EXPECT_EQ(file->runs.size(), 1u);
}

std::string Lap(std::string_view children) {
    return "<Lap StartTime=\"2024-03-10T06:00:00Z\">" + std::string(children) + "</Lap>";
}

std::string Trackpoints(std::initializer_list<const char*> distances) {
    std::string track = "<Track>";
    for (const char* distance : distances) {
        track += "<Trackpoint><Time>2024-03-10T06:00:00Z</Time><DistanceMeters>" +
                 std::string(distance) + "</DistanceMeters></Trackpoint>";
    }
    return track + "</Track>";
}

std::string Activity(std::string_view sport, std::string_view children) {
    return "<Activity Sport=\"" + std::string(sport) + "\">" + std::string(children) +
           "</Activity>\n";
}

std::string Database(std::string_view activities, std::string_view rest = "") {
    return "<?xml version=\"1.0\"?>\n<TrainingCenterDatabase "
           "xmlns=\"http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2\">\n"
           "<Activities>\n" +
           std::string(activities) + "</Activities>\n" + std::string(rest) +
           "</TrainingCenterDatabase>\n";
}

TEST(ReadTcx, RunningActivitiesSumTheirLapsOwnValuesOthersAndCoursesAreNotRuns) {
    // The trackpoints' running totals lie inside the laps too; they are not
    // the laps' distances.
    const std::string running = Activity(
        "Running",
        "<Id>2024-03-10T14:00:00+08:00</Id>" +
            Lap("<TotalTimeSeconds>600.5</TotalTimeSeconds><DistanceMeters>1500"
                "</DistanceMeters><Calories>100</Calories>" +
                Trackpoints({"0", "1500"})) +
            Lap("<TotalTimeSeconds>300</TotalTimeSeconds><DistanceMeters>700.25</DistanceMeters>"
                "<Calories>55</Calories><Extensions><LX "
                "xmlns=\"http://www.garmin.com/xmlschemas/ActivityExtension/v2\">"
                "<DistanceMeters>99999</DistanceMeters></LX></Extensions>" +
                Trackpoints({"1600", "2200.25"})));
    const std::string document = Database(
        Activity("Biking", "<Id>bad</Id>" + Lap("<TotalTimeSeconds>-1</TotalTimeSeconds>")) +
            running + Activity("Other", "") +
            "<MultiSportSession><Id>2024-03-10T06:00:00Z</Id><FirstSport>" +
            Activity("Running", "<Id>2024-03-10T06:00:00Z</Id>" + Lap("")) +
            "</FirstSport></MultiSportSession>\n",
        "<Courses><Course><Name>c</Name>" + Lap("<DistanceMeters>5000</DistanceMeters>") +
            "</Course></Courses>");
    for (const bool trickle : {false, true}) {
        MemorySource whole(document);
        TricklingSource pieces(document);
        const Result<RunFile> file =
            trickle ? ReadTcx(static_cast<ByteSource&>(pieces)) : ReadTcx(whole);
        ASSERT_TRUE(file) << file.problem().detail;
        EXPECT_EQ(file->format, RunFileFormat::Tcx);
        EXPECT_EQ(file->otherSports, 3);
        ASSERT_EQ(file->runs.size(), 1u);
        const ImportedRun& run = file->runs[0];
        EXPECT_EQ(run.startUtcMs, kSixUtcMs);
        EXPECT_FALSE(run.offsetMinutes);
        EXPECT_EQ(run.durationMs, 900'500);
        EXPECT_DOUBLE_EQ(run.distanceMetres, 2200.25);
        EXPECT_EQ(run.calories, 155);
    }
}

TEST(ReadTcx, WithoutLapDistancesTheLastTrackpointGivesItAndCaloriesStayEmpty) {
    const Result<RunFile> file = Tcx(Database(Activity(
        "running",
        "<Id>2024-03-10T06:00:00Z</Id>" +
            Lap("<TotalTimeSeconds>60</TotalTimeSeconds>" + Trackpoints({"0", "500"})) +
            Lap("<TotalTimeSeconds>60</TotalTimeSeconds>" + Trackpoints({"800", "1234.5"})))));
    ASSERT_TRUE(file) << file.problem().detail;
    ASSERT_EQ(file->runs.size(), 1u);
    EXPECT_DOUBLE_EQ(file->runs[0].distanceMetres, 1234.5);
    EXPECT_EQ(file->runs[0].durationMs, 120'000);
    EXPECT_FALSE(file->runs[0].calories);
}

TEST(ReadTcx, StartIsTheIdElseTheFirstLapsStartAndAnActivityNeedsOneAndALap) {
    const Result<RunFile> fromLap =
        Tcx(Database(Activity("Running", Lap("<TotalTimeSeconds>1</TotalTimeSeconds>"))));
    ASSERT_TRUE(fromLap);
    EXPECT_EQ(fromLap->runs.at(0).startUtcMs, kSixUtcMs);

    const struct {
        std::string activities;
        ProblemCode code;
        std::vector<std::string> values;
    } cases[] = {
        {Activity("Biking", "") + Activity("Running",
                                           "<Lap><TotalTimeSeconds>1"
                                           "</TotalTimeSeconds></Lap>"),
         ProblemCode::TcxActivityWithoutStart,
         {"2"}},
        {Activity("Running", "<Id>2024-03-10T06:00:00Z</Id>"),
         ProblemCode::TcxActivityWithoutLaps,
         {"1"}},
        {Activity("Running", "<Id>someday</Id>" + Lap("")),
         ProblemCode::XmlBadValue,
         {"4", "Id", "someday"}},
        {Activity("Running",
                  "<Id>2024-03-10T06:00:00Z</Id>" + Lap("<DistanceMeters>-5</DistanceMeters>")),
         ProblemCode::XmlBadValue,
         {"4", "DistanceMeters", "-5"}},
    };
    for (const auto& each : cases) {
        const Result<RunFile> file = Tcx(Database(each.activities));
        ASSERT_FALSE(file) << each.activities;
        EXPECT_EQ(file.problem().code, each.code) << each.activities;
        EXPECT_EQ(file.problem().values, each.values) << each.activities;
    }
}

}  // namespace
}  // namespace strivo
