// Stored runs by start at the pace of a scan: SQLite walking its index by
// start looks every run up in the table, four times the cost of reading the
// table as it lies. So the runs are read as they lie, packed, sorted in
// pieces that fit in a few megabytes, each piece (but a last one) written to
// a temporary file, and the pieces merged.

#include "store/RunSort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <queue>
#include <tuple>

namespace strivo::store_detail {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

template <typename T>
void Put(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T Take(std::string_view& in) {
    T value{};
    std::memcpy(&value, in.data(), sizeof value);
    in.remove_prefix(sizeof value);
    return value;
}

void PutOptional(std::string& out, const std::optional<std::int64_t>& value) {
    Put<char>(out, value ? 1 : 0);
    Put<std::int64_t>(out, value.value_or(0));
}

std::optional<std::int64_t> TakeOptional(std::string_view& in) {
    const bool has = Take<char>(in) != 0;
    const auto value = Take<std::int64_t>(in);
    return has ? std::optional(value) : std::nullopt;
}

// A run as bytes: its start (the sort key) first, then the rest.
void Pack(const StoredRun& run, std::string& out) {
    PutOptional(out, run.startUtcMs);
    Put<std::int64_t>(out, run.firstSeen.time_since_epoch().count());
    for (const std::string* text : {&run.startTime, &run.runId, &run.distance, &run.duration,
                                    &run.calories, &run.syncTime, &run.source, &run.sourceFile}) {
        Put<std::uint32_t>(out, static_cast<std::uint32_t>(text->size()));
        out += *text;
    }
    const auto widen = [](std::optional<int> v) {
        return v ? std::optional<std::int64_t>(*v) : std::nullopt;
    };
    for (const auto& value : {widen(run.startOffsetMinutes), run.durationMs, run.calorieCount,
                              run.syncUtcMs, widen(run.syncOffsetMinutes)}) {
        PutOptional(out, value);
    }
    Put<char>(out, run.distanceMetres ? 1 : 0);
    Put<double>(out, run.distanceMetres.value_or(0));
    Put<std::int64_t>(out, run.lastSeen.time_since_epoch().count());
    Put<char>(out, run.inLatestList ? 1 : 0);
}

void Unpack(std::string_view in, StoredRun& run) {
    run.startUtcMs = TakeOptional(in);
    run.firstSeen = StoreTime(StoreTime::duration(Take<std::int64_t>(in)));
    for (std::string* text : {&run.startTime, &run.runId, &run.distance, &run.duration,
                              &run.calories, &run.syncTime, &run.source, &run.sourceFile}) {
        const auto size = Take<std::uint32_t>(in);
        text->assign(in.substr(0, size));
        in.remove_prefix(size);
    }
    const auto narrow = [](std::optional<std::int64_t> v) {
        return v ? std::optional<int>(static_cast<int>(*v)) : std::nullopt;
    };
    run.startOffsetMinutes = narrow(TakeOptional(in));
    run.durationMs = TakeOptional(in);
    run.calorieCount = TakeOptional(in);
    run.syncUtcMs = TakeOptional(in);
    run.syncOffsetMinutes = narrow(TakeOptional(in));
    const bool hasDistance = Take<char>(in) != 0;
    const auto distance = Take<double>(in);
    run.distanceMetres = hasDistance ? std::optional(distance) : std::nullopt;
    run.lastSeen = StoreTime(StoreTime::duration(Take<std::int64_t>(in)));
    run.inLatestList = Take<char>(in) != 0;
}

}  // namespace

// The order of ORDER BY start_utc_ms, first_seen_ms, start_text DESC, run_id
// (no start first), read once from a packed run rather than at each comparison.
struct RunSorter::Keyed {
    explicit Keyed(std::string_view run) : packed(run) {
        const std::optional<std::int64_t> startMs = TakeOptional(run);
        hasStart = startMs.has_value();
        start = startMs.value_or(0);
        firstSeen = Take<std::int64_t>(run);
        const auto size = Take<std::uint32_t>(run);
        startText = run.substr(0, size);
        run.remove_prefix(size);
        const auto idSize = Take<std::uint32_t>(run);
        runId = run.substr(0, idSize);
    }
    bool operator<(const Keyed& other) const {
        return std::tie(hasStart, start, firstSeen, other.startText, runId) <
               std::tie(other.hasStart, other.start, other.firstSeen, startText, other.runId);
    }

    std::string_view packed;
    bool hasStart;
    std::int64_t start, firstSeen;
    std::string_view startText, runId;
};

namespace {

// A piece read back from its file, one packed run at a time.
struct PieceReader {
    File file;
    std::string current;
    std::optional<RunSorter::Keyed> key;  // of `current`
    bool Next() {
        std::uint32_t size = 0;
        if (std::fread(&size, sizeof size, 1, file.get()) != 1) {
            return false;
        }
        current.resize(size);
        if (std::fread(current.data(), 1, size, file.get()) != size) {
            return false;
        }
        key.emplace(current);
        return true;
    }
};

}  // namespace

void RunSorter::Add(const StoredRun& run) {
    if (m_bytes.capacity() < m_pieceBytes) {
        m_bytes.reserve(m_pieceBytes + (64u << 10));
    }
    m_offsets.push_back(m_bytes.size());
    Pack(run, m_bytes);
    if (m_bytes.size() >= m_pieceBytes) {
        m_ok = m_ok && SpillPiece();
    }
}

std::vector<RunSorter::Keyed> RunSorter::SortedPiece() const {
    std::vector<Keyed> runs;
    runs.reserve(m_offsets.size());
    for (std::size_t i = 0; i < m_offsets.size(); ++i) {
        const std::size_t end = i + 1 < m_offsets.size() ? m_offsets[i + 1] : m_bytes.size();
        runs.emplace_back(std::string_view(m_bytes.data() + m_offsets[i], end - m_offsets[i]));
    }
    std::stable_sort(runs.begin(), runs.end());
    return runs;
}

bool RunSorter::SpillPiece() {
    File file(std::tmpfile());
    if (!file) {
        return false;
    }
    for (const Keyed& keyed : SortedPiece()) {
        const std::string_view run = keyed.packed;
        const auto size = static_cast<std::uint32_t>(run.size());
        if (std::fwrite(&size, sizeof size, 1, file.get()) != 1 ||
            std::fwrite(run.data(), 1, run.size(), file.get()) != run.size()) {
            return false;
        }
    }
    std::rewind(file.get());
    m_pieces.push_back(file.release());
    m_bytes.clear();
    m_offsets.clear();
    return true;
}

bool RunSorter::Finish(const std::function<void(const StoredRun&)>& visit) {
    if (!m_ok) {
        return false;
    }
    // The pieces on file and the last one in memory, merged by their heads.
    std::vector<PieceReader> readers;
    for (std::FILE* piece : m_pieces) {
        readers.push_back({File(piece), {}, {}});
    }
    m_pieces.clear();
    const std::vector<Keyed> last = SortedPiece();
    std::size_t nextLast = 0;
    const auto head = [&](std::size_t reader) -> const Keyed& {
        return reader < readers.size() ? *readers[reader].key : last[nextLast];
    };
    const auto later = [&](std::size_t a, std::size_t b) { return head(b) < head(a); };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heads(later);
    for (std::size_t reader = 0; reader < readers.size(); ++reader) {
        if (readers[reader].Next()) {
            heads.push(reader);
        }
    }
    if (!last.empty()) {
        heads.push(readers.size());
    }
    StoredRun run;
    while (!heads.empty()) {
        const std::size_t reader = heads.top();
        heads.pop();
        Unpack(head(reader).packed, run);
        visit(run);
        if (reader < readers.size() ? readers[reader].Next() : ++nextLast < last.size()) {
            heads.push(reader);
        }
    }
    return std::none_of(readers.begin(), readers.end(),
                        [](const PieceReader& piece) { return std::ferror(piece.file.get()); });
}

RunSorter::~RunSorter() {
    for (std::FILE* piece : m_pieces) {
        std::fclose(piece);
    }
}

}  // namespace strivo::store_detail
