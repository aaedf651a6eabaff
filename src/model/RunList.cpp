#include "model/RunList.h"

#include <algorithm>

namespace strivo {
namespace {

// Blocks start small and grow to this many runs (160 KiB).
constexpr std::size_t kBlockRows = 1024;

}  // namespace

void RunList::Builder::Add(Run run) {
    OpenBlock().push_back(std::move(run));
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
    RunList runs;
    for (auto& block : m_full) {
        runs.AddBlock(std::move(block));
    }
    if (!m_open.empty()) {
        runs.AddBlock(std::make_shared<const Block>(std::move(m_open)));
    }
    *this = Builder();
    return runs;
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

RunList::RunList(std::vector<Run> runs) {
    AddBlock(std::make_shared<const Block>(std::move(runs)));
}

RunList::RunList(std::initializer_list<Run> runs) : RunList(std::vector<Run>(runs)) {}

const Run& RunList::operator[](std::size_t index) const {
    const std::size_t block = static_cast<std::size_t>(
        std::upper_bound(m_ends.begin(), m_ends.end(), index) - m_ends.begin());
    return (*m_blocks[block])[index - (block == 0 ? 0 : m_ends[block - 1])];
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
