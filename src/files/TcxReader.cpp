#include "files/TcxReader.h"

#include <cctype>
#include <cmath>
#include <string>

#include "files/RunFileValues.h"
#include "files/XmlReader.h"
#include "io/TimeText.h"

namespace strivo {
namespace {

enum class Tag : unsigned char {
    Other,
    Database,
    Activities,
    Activity,
    MultiSport,
    Id,
    Lap,
    LapTime,
    LapDistance,
    LapCalories,
    Track,
    Trackpoint,
    TrackpointDistance,
};

// A lap longer than a year, or a total beyond the Earth's circumference a
// thousand times over, is no run's; so is anything negative.
constexpr double kMostSeconds = 366.0 * 86400;
constexpr double kMostMetres = 4.0e10;
constexpr double kMostCalories = 1.0e6;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

class TcxHandler : public XmlReader::Handler {
public:
    explicit TcxHandler(RunSink& sink) : m_sink(sink) {}

    RunFile file{.format = RunFileFormat::Tcx};

    void OnStart(XmlReader& reader, std::string_view space, std::string_view name,
                 const char** attributes) override {
        const Tag parent = m_path.empty() ? Tag::Other : m_path.back();
        Tag tag = Tag::Other;
        const bool ours =
            space.empty() || space == "http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2";
        if (!ours) {
        } else if (m_path.empty() && name == "TrainingCenterDatabase") {
            tag = Tag::Database;
        } else if (parent == Tag::Database && name == "Activities") {
            tag = Tag::Activities;
        } else if (parent == Tag::Database && (name == "Courses" || name == "Workouts")) {
            file.content = name == "Courses" ? RunFileContent::Course : RunFileContent::Workout;
        } else if (parent == Tag::Activities && name == "Activity") {
            tag = Tag::Activity;
            m_activity = Activity{};
            m_activity.running = EqualsIgnoringCase(
                XmlReader::Attribute(attributes, "Sport").value_or(""), "Running");
            ++m_activities;
        } else if (parent == Tag::Activities && name == "MultiSportSession") {
            tag = Tag::MultiSport;
        } else if (parent == Tag::Activity && name == "Id") {
            tag = Tag::Id;
            reader.KeepText();
        } else if (parent == Tag::Activity && name == "Lap") {
            tag = Tag::Lap;
            if (m_activity.laps++ == 0) {
                m_activity.firstLapStart = std::string(
                    XmlReader::Attribute(attributes, "StartTime").value_or("").substr(0, 64));
            }
        } else if (parent == Tag::Lap && name == "TotalTimeSeconds") {
            tag = Tag::LapTime;
            reader.KeepText();
        } else if (parent == Tag::Lap && name == "DistanceMeters") {
            tag = Tag::LapDistance;
            reader.KeepText();
        } else if (parent == Tag::Lap && name == "Calories") {
            tag = Tag::LapCalories;
            reader.KeepText();
        } else if (parent == Tag::Lap && name == "Track") {
            tag = Tag::Track;
        } else if (parent == Tag::Track && name == "Trackpoint") {
            tag = Tag::Trackpoint;
        } else if (parent == Tag::Trackpoint && name == "DistanceMeters") {
            tag = Tag::TrackpointDistance;
            reader.KeepText();
        }
        m_path.push_back(tag);
    }

    void OnEnd(XmlReader& reader, std::string_view text) override {
        const Tag tag = m_path.back();
        m_path.pop_back();
        // Only a run's values are read: another sport's may be what they like.
        const bool reading = m_activity.running;
        switch (tag) {
            case Tag::Id:
                m_activity.id = std::string(text);
                break;
            case Tag::LapTime:
                if (reading) {
                    m_activity.seconds += Value(reader, "TotalTimeSeconds", text, kMostSeconds);
                }
                break;
            case Tag::LapDistance:
                if (reading) {
                    m_activity.metres += Value(reader, "DistanceMeters", text, kMostMetres);
                    m_activity.lapDistance = true;
                }
                break;
            case Tag::LapCalories:
                if (reading) {
                    m_activity.calories += Value(reader, "Calories", text, kMostCalories);
                    m_activity.lapCalories = true;
                }
                break;
            case Tag::TrackpointDistance:
                if (reading) {
                    m_activity.lastTrackpointMetres =
                        Value(reader, "DistanceMeters", text, kMostMetres);
                }
                break;
            case Tag::Activity:
                EndActivity(reader);
                break;
            case Tag::MultiSport:
                ++file.otherSports;
                break;
            default:
                break;
        }
    }

private:
    struct Activity {
        bool running = false;
        std::string id;
        std::string firstLapStart;
        int laps = 0;
        double seconds = 0;
        double metres = 0;
        double calories = 0;
        bool lapDistance = false;
        bool lapCalories = false;
        double lastTrackpointMetres = 0;
    };

    // The value of a lap's or a trackpoint's element; a bad one stops the reading.
    double Value(XmlReader& reader, const char* element, std::string_view text, double most) {
        const auto value = ParseNumber(text);
        if (!value || *value < 0 || *value > most) {
            reader.Stop(Problem(ProblemCode::XmlBadValue,
                                {std::to_string(reader.Line()), element, QuotedText(text)}));
            return 0;
        }
        return *value;
    }

    void EndActivity(XmlReader& reader) {
        if (!m_activity.running) {
            ++file.otherSports;
            return;
        }
        const std::string number = std::to_string(m_activities);
        if (m_activity.laps == 0) {
            return reader.Stop(Problem(ProblemCode::TcxActivityWithoutLaps, {number}));
        }
        const std::string& start = m_activity.id.empty() ? m_activity.firstLapStart : m_activity.id;
        const auto startMs = ParseXmlTime(start);
        if (start.empty()) {
            return reader.Stop(Problem(ProblemCode::TcxActivityWithoutStart, {number}));
        }
        if (!startMs) {
            return reader.Stop(
                Problem(ProblemCode::XmlBadValue,
                        {std::to_string(reader.Line()), m_activity.id.empty() ? "StartTime" : "Id",
                         QuotedText(start)}));
        }
        ImportedRun run{.startUtcMs = *startMs,
                        .distanceMetres = m_activity.lapDistance ? m_activity.metres
                                                                 : m_activity.lastTrackpointMetres,
                        .durationMs = std::llround(m_activity.seconds * 1000)};
        if (m_activity.lapCalories) {
            run.calories = std::llround(m_activity.calories);
        }
        if (Outcome taken = m_sink.Take(run); !taken) {
            reader.Stop(taken.problem());
        }
    }

    RunSink& m_sink;
    std::vector<Tag> m_path;
    Activity m_activity;
    std::size_t m_activities = 0;
};

}  // namespace

Result<RunFile> ReadTcx(ByteSource& source, RunSink& sink) {
    TcxHandler handler(sink);
    XmlReader reader(handler);
    if (Outcome read = reader.Read(source); !read) {
        return read.problem();
    }
    return std::move(handler.file);
}

Result<RunFile> ReadTcx(ByteSource& source) {
    RunCollector collector;
    return collector.Into(ReadTcx(source, collector));
}

}  // namespace strivo
