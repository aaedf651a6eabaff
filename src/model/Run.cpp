#include "model/Run.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace strivo {
namespace {

// memcpy for the few bytes of a text: copies of a size known here, which the
// compiler makes loads and stores, where a call would cost more than the
// bytes. The two copies overlap in the middle, so no byte outside is read.
void CopyCell(char* to, std::string_view cell) {
    const char* from = cell.data();
    const std::size_t size = cell.size();
    if (size >= 16 && size <= 32) {
        std::memcpy(to, from, 16);
        std::memcpy(to + size - 16, from + size - 16, 16);
    } else if (size >= 8 && size < 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + size - 8, from + size - 8, 8);
    } else if (size >= 4 && size < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + size - 4, from + size - 4, 4);
    } else if (size > 32) {
        std::memcpy(to, from, size);
    } else if (size > 0) {
        to[0] = from[0];
        to[size / 2] = from[size / 2];
        to[size - 1] = from[size - 1];
    }
}

}  // namespace

std::string_view RunSourceName(RunSource source) {
    static constexpr std::string_view kNames[] = {"", "gpx", "tcx", "fit", "csv"};
    return kNames[static_cast<int>(source)];
}

RunSource RunSourceNamed(std::string_view name) {
    for (const RunSource source :
         {RunSource::Gpx, RunSource::Tcx, RunSource::Fit, RunSource::Csv}) {
        if (name == RunSourceName(source)) {
            return source;
        }
    }
    return RunSource::Service;
}

Run::Run(std::string_view runId, const Run::Sent& sent, const Run::Values& values) {
    SetValues(values);
    const std::array<std::string_view, kTexts> texts = {
        runId, sent.startTime, sent.distance, sent.duration, sent.calories, sent.syncTime};
    SetTexts(texts);
}

Run::Run(std::string_view key, RunSource source, const Run::Values& values) : m_source(source) {
    SetValues(values);
    const std::array<std::string_view, kTexts> texts = {key};
    SetTexts(texts);
}

Run::Run(const Run& other) {
    *this = other;
}

Run& Run::operator=(const Run& other) {
    if (this != &other) {
        CopyValues(other);
        CopyText(other);
    }
    return *this;
}

Run::Run(Run&& other) noexcept {
    *this = std::move(other);
}

Run& Run::operator=(Run&& other) noexcept {
    if (this != &other) {
        CopyValues(other);
        m_ends = other.m_ends;
        m_large = std::move(other.m_large);
        if (!m_large) {
            std::memcpy(m_small, other.m_small, TextSize());
        }
        other.m_ends = {};  // its texts went with it
    }
    return *this;
}

Run::Sent Run::sent() const {
    return {Text(kStart), Text(kDistance), Text(kDuration), Text(kCalories), Text(kSync)};
}

Run::Values Run::values() const {
    Run::Values values;
    if (m_startUtcMs != kNone) {
        values.startUtcMs = m_startUtcMs;
    }
    if (m_offset != kNoOffset) {
        values.offsetMinutes = m_offset;
    }
    if (m_hasMetres) {
        values.metres = m_metres;
    }
    values.durationMs = m_durationMs;
    if (m_kcal != kNone) {
        values.kcal = m_kcal;
    }
    return values;
}

bool Run::operator==(const Run& other) const {
    return m_startUtcMs == other.m_startUtcMs && m_durationMs == other.m_durationMs &&
           m_kcal == other.m_kcal && m_hasMetres == other.m_hasMetres &&
           (!m_hasMetres || m_metres == other.m_metres) && m_offset == other.m_offset &&
           m_source == other.m_source && m_ends == other.m_ends &&
           std::memcmp(Chars(), other.Chars(), TextSize()) == 0;
}

void Run::SetValues(const Run::Values& values) {
    const bool offsetFits = values.offsetMinutes && *values.offsetMinutes > kNoOffset &&
                            *values.offsetMinutes <= INT16_MAX;
    m_startUtcMs = values.startUtcMs.value_or(kNone);
    m_offset = offsetFits ? static_cast<std::int16_t>(*values.offsetMinutes) : kNoOffset;
    m_hasMetres = values.metres.has_value();
    m_metres = values.metres.value_or(0);
    m_durationMs = values.durationMs;
    m_kcal = values.kcal.value_or(kNone);
}

std::string_view Run::Text(std::size_t index) const {
    const std::uint32_t begin = index == 0 ? 0 : m_ends[index - 1];
    return {Chars() + begin, m_ends[index] - begin};
}

void Run::SetTexts(std::span<const std::string_view, kTexts> texts) {
    std::size_t size = 0;
    for (const std::string_view text : texts) {
        size += text.size();
    }
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("run texts too long");
    }
    if (size > sizeof m_small) {
        m_large = std::make_unique_for_overwrite<char[]>(size);
    }
    char* const chars = m_large ? m_large.get() : m_small;
    std::uint32_t end = 0;
    for (std::size_t index = 0; index < kTexts; ++index) {
        CopyCell(chars + end, texts[index]);
        end += static_cast<std::uint32_t>(texts[index].size());
        m_ends[index] = end;
    }
}

void Run::CopyValues(const Run& other) {
    m_startUtcMs = other.m_startUtcMs;
    m_durationMs = other.m_durationMs;
    m_kcal = other.m_kcal;
    m_metres = other.m_metres;
    m_offset = other.m_offset;
    m_hasMetres = other.m_hasMetres;
    m_source = other.m_source;
}

void Run::CopyText(const Run& other) {
    m_ends = other.m_ends;
    if (other.m_large) {
        m_large = std::make_unique_for_overwrite<char[]>(TextSize());
        std::memcpy(m_large.get(), other.m_large.get(), TextSize());
    } else {
        m_large.reset();
        std::memcpy(m_small, other.m_small, TextSize());
    }
}

}  // namespace strivo
