#pragma once

// Not for use outside store/: stored runs put in order by start without
// holding them all (RunSort.cpp).

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/Runs.h"

namespace strivo::store_detail {

// Takes runs in any order and gives them back by start (those without one
// first), then by when first seen, then by start text, latest first, then
// by RunID: the order a runner reads them in, the same every time. Holds a few megabytes of them;
// the rest wait in temporary files.
class RunSorter {
public:
    // A piece in memory holds about `pieceBytes` of packed runs (some 150
    // bytes a run) before it goes to a file.
    explicit RunSorter(std::size_t pieceBytes = 16u << 20) : m_pieceBytes(pieceBytes) {}
    ~RunSorter();
    RunSorter(const RunSorter&) = delete;
    RunSorter& operator=(const RunSorter&) = delete;

    void Add(const StoredRun& run);
    // False once a piece could not go to a temporary file: Finish would
    // visit nothing.
    bool ok() const { return m_ok; }
    // Each run in order; false when a temporary file could not be made,
    // written or read (then not every run was visited).
    bool Finish(const std::function<void(const StoredRun&)>& visit);

    struct Keyed;  // a packed run and its sort key

private:
    std::vector<Keyed> SortedPiece() const;
    bool SpillPiece();

    std::size_t m_pieceBytes;
    std::string m_bytes;                 // the packed runs of the piece in memory
    std::vector<std::size_t> m_offsets;  // where each begins
    std::vector<std::FILE*> m_pieces;    // the sorted pieces on file
    bool m_ok = true;
};

}  // namespace strivo::store_detail
