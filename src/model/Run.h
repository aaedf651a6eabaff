#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace strivo {

// Where a run was read: the run service's list, or a file of one format.
enum class RunSource : std::uint8_t { Service, Gpx, Tcx, Fit, Csv };
// "gpx", "tcx", "fit", "csv"; empty for the run service (the store's source column).
std::string_view RunSourceName(RunSource source);
RunSource RunSourceNamed(std::string_view name);

// One run, from the run service or from a file: its RunID (a file's run has
// Strivo's own key, never sent as a RunID), its values and source, and the
// texts the service sent, which the table, the CSV and the post keep as they
// are. A run read from a file has no such texts: where it is shown, its texts
// are made from its values (io/RunText.h).
// The texts lie end to end inside the run where they fit, else in one block
// of their own: a table of 100,000 runs makes no allocation per run.
class Run {
public:
    // What the run service sent for a run, byte for byte (CP936).
    struct Sent {
        std::string_view startTime, distance, duration, calories, syncTime;
    };
    // What a run is: its start (a UTC instant and the offset it was run at),
    // metres, milliseconds and kilocalories.
    struct Values {
        std::optional<std::int64_t> startUtcMs;
        std::optional<int> offsetMinutes;
        std::optional<double> metres;
        std::int64_t durationMs = 0;  // of the service's text as ReadMilliseconds reads it
        std::optional<std::int64_t> kcal;
    };

    Run() = default;
    // A run of the run service, with the values read from its texts.
    Run(std::string_view runId, const Sent& sent, const Values& values);
    // A run read from a file.
    Run(std::string_view key, RunSource source, const Values& values);
    Run(const Run& other);
    Run& operator=(const Run& other);
    Run(Run&& other) noexcept;
    Run& operator=(Run&& other) noexcept;
    ~Run() = default;

    std::string_view id() const { return Text(kId); }
    RunSource source() const { return m_source; }
    bool FromService() const { return m_source == RunSource::Service; }
    // All empty for a run read from a file.
    Sent sent() const;
    Values values() const;
    std::int64_t durationMs() const { return m_durationMs; }
    bool operator==(const Run& other) const;

private:
    enum TextIndex : std::size_t { kId, kStart, kDistance, kDuration, kCalories, kSync, kTexts };
    static constexpr std::int64_t kNone = INT64_MIN;
    static constexpr std::int16_t kNoOffset = INT16_MIN;

    void SetValues(const Values& values);
    void SetTexts(std::span<const std::string_view, kTexts> texts);
    void CopyValues(const Run& other);
    void CopyText(const Run& other);
    std::string_view Text(std::size_t index) const;
    const char* Chars() const { return m_large ? m_large.get() : m_small; }
    std::size_t TextSize() const { return m_ends.back(); }

    std::int64_t m_startUtcMs = kNone, m_durationMs = 0, m_kcal = kNone;
    double m_metres = 0;
    std::int16_t m_offset = kNoOffset;
    bool m_hasMetres = false;
    RunSource m_source = RunSource::Service;
    std::array<std::uint32_t, kTexts> m_ends{};  // where each text ends
    std::unique_ptr<char[]> m_large;             // the texts, when m_small is too small
    char m_small[88];                            // a run of 160 bytes in all
};
static_assert(sizeof(Run) <= 160, "a table of 100,000 runs stays within its memory");

}  // namespace strivo
