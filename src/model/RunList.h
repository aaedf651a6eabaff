#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

#include "model/Run.h"

namespace strivo {

// Runs in blocks that are never written once made: a copy shares them, so a
// snapshot of 100,000 runs copies no text, and the list grows without moving.
// Reading is safe from any thread; changing one RunList from two is not.
class RunList {
    using Block = std::vector<Run>;

public:
    // Makes the list one run at a time, into blocks no RunList shares until Finish.
    class Builder {
    public:
        void Add(Run run);
        template <typename... Arguments>
        void Emplace(Arguments&&... arguments) {
            OpenBlock().emplace_back(std::forward<Arguments>(arguments)...);
        }
        // The runs added so far; the builder starts again empty.
        RunList Finish();

    private:
        Block& OpenBlock();

        std::vector<std::shared_ptr<const Block>> m_full;
        std::size_t m_fullRows = 0;
        Block m_open;
    };

    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Run;
        using difference_type = std::ptrdiff_t;
        using pointer = const Run*;
        using reference = const Run&;

        Iterator() = default;
        reference operator*() const { return (*m_rows->m_blocks[m_block])[m_row]; }
        pointer operator->() const { return &**this; }
        Iterator& operator++();
        Iterator operator++(int);
        bool operator==(const Iterator& other) const {
            return m_block == other.m_block && m_row == other.m_row;
        }

    private:
        friend class RunList;
        Iterator(const RunList* runs, std::size_t block) : m_rows(runs), m_block(block) {}

        const RunList* m_rows = nullptr;
        std::size_t m_block = 0;
        std::size_t m_row = 0;
    };

    RunList() = default;
    RunList(std::vector<Run> runs);  // one block, the runs moved in
    RunList(std::initializer_list<Run> runs);

    std::size_t size() const { return m_ends.empty() ? 0 : m_ends.back(); }
    bool empty() const { return size() == 0; }
    const Run& operator[](std::size_t index) const;
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, m_blocks.size()}; }
    bool operator==(const RunList& other) const;

    // Adds the runs of `other` after these, sharing its blocks.
    void Append(const RunList& other);

private:
    void AddBlock(std::shared_ptr<const Block> block);

    std::vector<std::shared_ptr<const Block>> m_blocks;  // none of them empty
    std::vector<std::size_t> m_ends;                     // runs up to the end of each block
};

}  // namespace strivo
