#include "files/GpxReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>

#include "files/RunFileValues.h"
#include "files/XmlReader.h"
#include "io/TimeText.h"

namespace strivo {
namespace {

enum class Tag : unsigned char { Other, Gpx, Track, TrackName, TrackType, Segment, Point, Time };

// Case-insensitive, blanks around it allowed.
bool SaysRunning(std::string_view type) {
    while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) {
        type.remove_prefix(1);
    }
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) {
        type.remove_suffix(1);
    }
    std::string lower(type);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "running" || lower == "run";
}

class GpxHandler : public XmlReader::Handler {
public:
    explicit GpxHandler(RunSink& sink) : m_sink(sink) {}

    RunFile file{.format = RunFileFormat::Gpx};

    void OnStart(XmlReader& reader, std::string_view space, std::string_view name,
                 const char** attributes) override {
        const Tag parent = m_path.empty() ? Tag::Other : m_path.back();
        Tag tag = Tag::Other;
        // GPX 1.0 and 1.1 each have their namespace; a file without one is
        // taken as GPX too. Elements of other namespaces (extensions) are not.
        const bool ours = space.empty() || space == "http://www.topografix.com/GPX/1/1" ||
                          space == "http://www.topografix.com/GPX/1/0";
        if (!ours) {
        } else if (m_path.empty() && name == "gpx") {
            tag = Tag::Gpx;
        } else if (parent == Tag::Gpx && name == "rte") {
            file.content = RunFileContent::Course;
        } else if (parent == Tag::Gpx && name == "trk") {
            tag = Tag::Track;
            m_track = Track{};
            ++m_tracks;
        } else if (parent == Tag::Track && name == "name") {
            tag = Tag::TrackName;
            reader.KeepText(XmlReader::Overflow::Cut);
        } else if (parent == Tag::Track && name == "type") {
            tag = Tag::TrackType;
            reader.KeepText(XmlReader::Overflow::Cut);
        } else if (parent == Tag::Track && name == "trkseg") {
            tag = Tag::Segment;
            m_track.segmentPoints = 0;
        } else if (parent == Tag::Segment && name == "trkpt") {
            tag = Tag::Point;
            m_pointTimed = false;
            AddPoint(reader, attributes);
        } else if (parent == Tag::Point && name == "time") {
            tag = Tag::Time;
            reader.KeepText();
        }
        m_path.push_back(tag);
    }

    void OnEnd(XmlReader& reader, std::string_view text) override {
        const Tag tag = m_path.back();
        m_path.pop_back();
        switch (tag) {
            case Tag::TrackName:
                m_track.name = QuotedText(text);
                break;
            case Tag::TrackType:
                m_track.type = std::string(text);
                m_track.typed = true;
                break;
            case Tag::Time:
                AddTime(reader, text);
                break;
            case Tag::Track:
                EndTrack(reader);
                break;
            default:
                break;
        }
    }

private:
    struct Track {
        std::string name;
        std::string type;
        bool typed = false;
        std::size_t points = 0;
        std::size_t timedPoints = 0;
        std::size_t segmentPoints = 0;
        double latitude = 0, longitude = 0;  // the segment's last point
        double metres = 0;
        std::int64_t earliestMs = std::numeric_limits<std::int64_t>::max();
        std::int64_t latestMs = std::numeric_limits<std::int64_t>::min();
    };

    void AddPoint(XmlReader& reader, const char** attributes) {
        const auto latitudeText = XmlReader::Attribute(attributes, "lat");
        const auto longitudeText = XmlReader::Attribute(attributes, "lon");
        const auto latitude = ParseNumber(latitudeText.value_or(""));
        const auto longitude = ParseNumber(longitudeText.value_or(""));
        if (!latitude || std::fabs(*latitude) > 90) {
            return Refuse(reader, "lat", latitudeText.value_or(""));
        }
        if (!longitude || std::fabs(*longitude) > 180) {
            return Refuse(reader, "lon", longitudeText.value_or(""));
        }
        if (m_track.segmentPoints > 0) {
            m_track.metres +=
                GreatCircleMetres(m_track.latitude, m_track.longitude, *latitude, *longitude);
        }
        m_track.latitude = *latitude;
        m_track.longitude = *longitude;
        ++m_track.segmentPoints;
        ++m_track.points;
    }

    void AddTime(XmlReader& reader, std::string_view text) {
        const auto instant = ParseXmlTime(text);
        if (!instant) {
            return Refuse(reader, "time", text);
        }
        m_track.earliestMs = std::min(m_track.earliestMs, *instant);
        m_track.latestMs = std::max(m_track.latestMs, *instant);
        m_track.timedPoints += m_pointTimed ? 0 : 1;
        m_pointTimed = true;
    }

    void EndTrack(XmlReader& reader) {
        if (m_track.points == 0) {
            return;
        }
        if (m_track.typed && !SaysRunning(m_track.type)) {
            ++file.otherSports;
            return;
        }
        // A track that cannot be a run is named, and the others are still read.
        const bool named = !m_track.name.empty();
        const std::string number = std::to_string(m_tracks);
        if (m_track.timedPoints == 0) {
            return m_sink.Skip(
                named ? Problem(ProblemCode::GpxNamedTrackWithoutTimes, {number, m_track.name})
                      : Problem(ProblemCode::GpxTrackWithoutTimes, {number}));
        }
        // Times on a few points only say nothing of the rest: 4 of 588 made
        // 40 km over 332 h.
        if (m_track.timedPoints * 2 < m_track.points) {
            std::vector<std::string> values = {number, std::to_string(m_track.timedPoints),
                                               std::to_string(m_track.points)};
            if (named) {
                values.push_back(m_track.name);
            }
            return m_sink.Skip(
                Problem(named ? ProblemCode::GpxNamedTrackFewTimes : ProblemCode::GpxTrackFewTimes,
                        std::move(values)));
        }
        if (Outcome taken =
                m_sink.Take(ImportedRun{.startUtcMs = m_track.earliestMs,
                                        .distanceMetres = m_track.metres,
                                        .durationMs = m_track.latestMs - m_track.earliestMs});
            !taken) {
            reader.Stop(taken.problem());
        }
    }

    void Refuse(XmlReader& reader, const char* element, std::string_view text) {
        reader.Stop(Problem(ProblemCode::XmlBadValue,
                            {std::to_string(reader.Line()), element, QuotedText(text)}));
    }

    RunSink& m_sink;
    std::vector<Tag> m_path;
    Track m_track;
    bool m_pointTimed = false;  // the point in hand has had its time
    std::size_t m_tracks = 0;
};

}  // namespace

Result<RunFile> ReadGpx(ByteSource& source, RunSink& sink) {
    GpxHandler handler(sink);
    XmlReader reader(handler);
    if (Outcome read = reader.Read(source); !read) {
        return read.problem();
    }
    return std::move(handler.file);
}

Result<RunFile> ReadGpx(ByteSource& source) {
    RunCollector collector;
    return collector.Into(ReadGpx(source, collector));
}

}  // namespace strivo
