#include "model/RunRow.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace strivo {
namespace {

// memcpy for the few bytes of a cell: copies of a size known here, which the
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

RunRow::RunRow(std::initializer_list<std::string_view> cells, std::int64_t durationMs)
    : durationMs(durationMs) {
    SetCells({cells.begin(), std::min(cells.size(), m_ends.size())});
}

RunRow::RunRow(std::span<const std::string_view, kRunColumnCount> cells, std::int64_t durationMs)
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
    other.m_ends = {};  // its text went with it
}

RunRow& RunRow::operator=(RunRow&& other) noexcept {
    if (this != &other) {
        durationMs = other.durationMs;
        m_ends = other.m_ends;
        m_large = std::move(other.m_large);
        if (!m_large) {
            std::memcpy(m_small, other.m_small, TextSize());
        }
        other.m_ends = {};
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
        if (column < cells.size()) {
            CopyCell(text + end, cells[column]);
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
