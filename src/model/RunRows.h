#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

#include "model/RunRow.h"

namespace strivo {

// Rows in blocks that are never written once made: a copy shares them, so a
// snapshot of 100,000 rows copies no cell, and rows grow without moving.
// Reading is safe from any thread; changing one RunRows from two is not.
class RunRows {
    using Block = std::vector<RunRow>;

public:
    // Makes rows one at a time, into blocks no RunRows shares until Finish.
    class Builder {
    public:
        void Add(RunRow row);
        template <typename... Arguments>
        void Emplace(Arguments&&... arguments) {
            OpenBlock().emplace_back(std::forward<Arguments>(arguments)...);
        }
        // The rows added so far; the builder starts again empty.
        RunRows Finish();

    private:
        Block& OpenBlock();

        std::vector<std::shared_ptr<const Block>> m_full;
        std::size_t m_fullRows = 0;
        Block m_open;
    };

    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = RunRow;
        using difference_type = std::ptrdiff_t;
        using pointer = const RunRow*;
        using reference = const RunRow&;

        Iterator() = default;
        reference operator*() const { return (*m_rows->m_blocks[m_block])[m_row]; }
        pointer operator->() const { return &**this; }
        Iterator& operator++();
        Iterator operator++(int);
        bool operator==(const Iterator& other) const {
            return m_block == other.m_block && m_row == other.m_row;
        }

    private:
        friend class RunRows;
        Iterator(const RunRows* rows, std::size_t block) : m_rows(rows), m_block(block) {}

        const RunRows* m_rows = nullptr;
        std::size_t m_block = 0;
        std::size_t m_row = 0;
    };

    RunRows() = default;
    RunRows(std::vector<RunRow> rows);  // one block, the rows moved in
    RunRows(std::initializer_list<RunRow> rows);

    std::size_t size() const { return m_ends.empty() ? 0 : m_ends.back(); }
    bool empty() const { return size() == 0; }
    const RunRow& operator[](std::size_t row) const;
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, m_blocks.size()}; }
    bool operator==(const RunRows& other) const;

    // Adds the rows of `other` after these, sharing its blocks.
    void Append(const RunRows& other);

private:
    void AddBlock(std::shared_ptr<const Block> block);

    std::vector<std::shared_ptr<const Block>> m_blocks;  // none of them empty
    std::vector<std::size_t> m_ends;                     // rows up to the end of each block
};

}  // namespace strivo
