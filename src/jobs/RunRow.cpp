#include "jobs/RunRow.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace strivo {

RunRow::RunRow(std::initializer_list<std::string_view> cells, std::int32_t durationMs)
    : durationMs(durationMs) {
    SetCells({cells.begin(), std::min(cells.size(), m_ends.size())});
}

RunRow::RunRow(std::span<const std::string_view, kRunColumnCount> cells, std::int32_t durationMs)
    : durationMs(durationMs) {
    SetCells(cells);
}

RunRow::RunRow(const RunRow& other) : durationMs(other.durationMs) {
    CopyText(other);
}

RunRow& RunRow::operator=(const RunRow& other) {
    if (this != &other) {
        durationMs = other.durationMs;
        CopyText(other);
    }
    return *this;
}

RunRow::RunRow(RunRow&& other) noexcept
    : durationMs(other.durationMs), m_ends(other.m_ends), m_large(std::move(other.m_large)) {
    if (!m_large) {
        std::memcpy(m_small, other.m_small, TextSize());
    }
}

RunRow& RunRow::operator=(RunRow&& other) noexcept {
    if (this != &other) {
        durationMs = other.durationMs;
        m_ends = other.m_ends;
        m_large = std::move(other.m_large);
        if (!m_large) {
            std::memcpy(m_small, other.m_small, TextSize());
        }
    }
    return *this;
}

std::string_view RunRow::operator[](std::size_t column) const {
    const std::uint32_t begin = column == 0 ? 0 : m_ends[column - 1];
    return {Text() + begin, m_ends[column] - begin};
}

bool RunRow::operator==(const RunRow& other) const {
    return durationMs == other.durationMs && m_ends == other.m_ends &&
           std::memcmp(Text(), other.Text(), TextSize()) == 0;
}

void RunRow::SetCells(std::span<const std::string_view> cells) {
    std::size_t size = 0;
    for (const std::string_view cell : cells) {
        size += cell.size();
    }
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("run row too long");
    }
    if (size > sizeof m_small) {
        m_large = std::make_unique_for_overwrite<char[]>(size);
    }
    char* const text = m_large ? m_large.get() : m_small;
    std::uint32_t end = 0;
    for (std::size_t column = 0; column < m_ends.size(); ++column) {
        if (column < cells.size() && !cells[column].empty()) {
            std::memcpy(text + end, cells[column].data(), cells[column].size());
            end += static_cast<std::uint32_t>(cells[column].size());
        }
        m_ends[column] = end;
    }
}

void RunRow::CopyText(const RunRow& other) {
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
