#include "model/RunList.h"

#include <algorithm>

namespace strivo {
namespace {

// Blocks start small and grow to this many runs (160 KiB).
constexpr std::size_t kBlockRows = 1024;

}  // namespace

void RunList::Builder::Add(Run row) {
    OpenBlock().push_back(std::move(row));
}

RunList::Block& RunList::Builder::OpenBlock() {
    if (m_open.size() == m_open.capacity()) {
        if (!m_open.empty()) {
            m_fullRows += m_open.size();
            m_full.push_back(std::make_shared<const Block>(std::move(m_open)));
            m_open = Block();
        }
        m_open.reserve(std::clamp<std::size_t>(m_fullRows, 16, kBlockRows));
    }
    return m_open;
}

RunList RunList::Builder::Finish() {
    RunList rows;
    for (auto& block : m_full) {
        rows.AddBlock(std::move(block));
    }
    if (!m_open.empty()) {
        rows.AddBlock(std::make_shared<const Block>(std::move(m_open)));
    }
    *this = Builder();
    return rows;
}

RunList::Iterator& RunList::Iterator::operator++() {
    if (++m_row == m_rows->m_blocks[m_block]->size()) {
        ++m_block;
        m_row = 0;
    }
    return *this;
}

RunList::Iterator RunList::Iterator::operator++(int) {
    Iterator before = *this;
    ++*this;
    return before;
}

RunList::RunList(std::vector<Run> rows) {
    AddBlock(std::make_shared<const Block>(std::move(rows)));
}

RunList::RunList(std::initializer_list<Run> rows) : RunList(std::vector<Run>(rows)) {}

const Run& RunList::operator[](std::size_t row) const {
    const std::size_t block = static_cast<std::size_t>(
        std::upper_bound(m_ends.begin(), m_ends.end(), row) - m_ends.begin());
    return (*m_blocks[block])[row - (block == 0 ? 0 : m_ends[block - 1])];
}

bool RunList::operator==(const RunList& other) const {
    return size() == other.size() && std::equal(begin(), end(), other.begin());
}

void RunList::Append(const RunList& other) {
    for (const auto& block : other.m_blocks) {
        AddBlock(block);
    }
}

void RunList::AddBlock(std::shared_ptr<const Block> block) {
    if (!block->empty()) {
        m_ends.push_back(size() + block->size());
        m_blocks.push_back(std::move(block));
    }
}

}  // namespace strivo
