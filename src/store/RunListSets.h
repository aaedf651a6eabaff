#pragma once

// Not for use outside store/: what a run list is checked against as it is
// kept (StoreRuns.cpp): the list's own RunIDs, and the stored runs as hashes.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace strivo::store_detail {

// The RunIDs of one list, each once: their bytes end to end, each after its
// length (one byte, or 255 and four), in blocks of 64 KiB that never move,
// found through an open-addressed table of where each begins. About 20 bytes
// a run, where a set of strings takes 60, and no copy of them as it grows.
class RunIdSet {
public:
    // False when `id` is in already.
    bool Insert(std::string_view id) {
        if ((m_count + 1) * 2 > m_slots.size()) {
            Grow();
        }
        std::uint32_t& slot = m_slots[Find(id)];
        if (slot != 0) {
            return false;
        }
        const bool shortId = id.size() < 0xFF;
        const std::size_t needed = (shortId ? 1 : 1 + sizeof(std::uint32_t)) + id.size();
        // A block holds what fits; a RunID too long for one has a block of its own.
        if (m_blocks.empty() || m_blocks.back().size() + needed > kBlockBytes) {
            m_blocks.emplace_back().reserve(std::max(kBlockBytes, needed));
        }
        std::string& block = m_blocks.back();
        slot = static_cast<std::uint32_t>(((m_blocks.size() - 1) << 16 | block.size()) + 1);
        if (shortId) {
            block += static_cast<char>(id.size());
        } else {
            const auto size = static_cast<std::uint32_t>(id.size());
            block += '\xFF';
            block.append(reinterpret_cast<const char*>(&size), sizeof size);
        }
        block.append(id);
        ++m_count;
        return true;
    }
    bool Contains(std::string_view id) const { return !m_slots.empty() && m_slots[Find(id)] != 0; }

private:
    static constexpr std::size_t kBlockBytes = 1 << 16;

    std::string_view At(std::uint32_t slot) const {
        const std::string& block = m_blocks[(slot - 1) >> 16];
        const char* start = block.data() + ((slot - 1) & 0xFFFF);
        std::uint32_t size = static_cast<unsigned char>(*start++);
        if (size == 0xFF) {
            std::memcpy(&size, start, sizeof size);
            start += sizeof size;
        }
        return {start, size};
    }
    // Where `id` is, or the empty slot where it would go.
    std::size_t Find(std::string_view id) const {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t at = std::hash<std::string_view>()(id) & mask;; at = (at + 1) & mask) {
            if (m_slots[at] == 0 || At(m_slots[at]) == id) {
                return at;
            }
        }
    }
    void Grow() {
        std::vector<std::uint32_t> old(std::max<std::size_t>(1024, m_slots.size() * 2));
        old.swap(m_slots);
        for (const std::uint32_t slot : old) {
            if (slot != 0) {
                m_slots[Find(At(slot))] = slot;
            }
        }
    }

    std::vector<std::string> m_blocks;
    std::vector<std::uint32_t> m_slots;  // 1 + block << 16 | where an id begins; 0: empty
    std::size_t m_count = 0;
};

// A run's five texts as one 64-bit value, and its RunID as another
// (splitmix64's finaliser over the standard hashes).
inline std::uint64_t Mixed(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

inline std::uint64_t HashOf(std::string_view text, std::uint64_t seed) {
    return Mixed(seed ^ std::hash<std::string_view>()(text) ^ (text.size() << 48));
}

inline std::uint64_t DigestOf(const std::string_view (&texts)[5]) {
    std::uint64_t digest = 0x243f6a8885a308d3ULL;
    for (const std::string_view text : texts) {
        digest = HashOf(text, digest);
    }
    return digest;
}

// The account's stored runs as hashes, read in one pass: a list much like
// what is stored is then checked against memory rather than by a lookup a
// run, which costs a descent of the table (16 bytes a stored run). Only
// "the same" and "not stored" are told for sure; anything else is looked up.
// A run found the same is marked taken: the set of the list's RunIDs need
// not hold it, and a second of its RunID is known for one.
class StoredDigests {
public:
    enum class Found { NotStored, Same, TakenAlready, TakenByItsHash, LookItUp };

    explicit StoredDigests(std::size_t runs) : m_slots(runs + runs / 2 + 16) {}

    void Add(std::string_view runId, std::uint64_t digest, bool listed) {
        const std::uint64_t id = IdOf(runId);
        Slot& slot = m_slots[Find(id)];
        if (slot.id == id) {
            slot.word |= kTwoRuns;  // two RunIDs, one hash: each is looked up
            return;
        }
        slot = {id, (digest & ~kFlags) | (listed ? kListed : 0)};
    }
    // Whether the run is stored with these texts, and then whether it was
    // in the list before; whether one of its RunID, or of its RunID's hash,
    // was taken already.
    Found Take(std::string_view runId, std::uint64_t digest, bool* listed) {
        Slot& slot = m_slots[Find(IdOf(runId))];
        if (slot.id == 0) {
            return Found::NotStored;
        }
        if ((slot.word & kTwoRuns) != 0) {
            return Found::LookItUp;
        }
        const bool same = (slot.word & ~kFlags) == (digest & ~kFlags);
        if ((slot.word & kTaken) != 0) {
            return same ? Found::TakenAlready : Found::TakenByItsHash;
        }
        if (!same) {
            return Found::LookItUp;
        }
        slot.word |= kTaken;
        *listed = (slot.word & kListed) != 0;
        return Found::Same;
    }
    // A run of the list found stored by a lookup is taken too: the one stored
    // run of its hash, where only one has it.
    void MarkTaken(std::string_view runId) {
        Slot& slot = m_slots[Find(IdOf(runId))];
        if (slot.id != 0 && (slot.word & kTwoRuns) == 0) {
            slot.word |= kTaken;
        }
    }
    // Whether a stored run of this RunID was taken.
    bool Taken(std::string_view runId) const {
        const Slot& slot = m_slots[Find(IdOf(runId))];
        return slot.id != 0 && (slot.word & (kTwoRuns | kTaken)) == kTaken;
    }

private:
    static constexpr std::uint64_t kListed = 1, kTwoRuns = 2, kTaken = 4, kFlags = 7;
    struct Slot {
        std::uint64_t id = 0;  // 0: empty
        std::uint64_t word = 0;
    };
    static std::uint64_t IdOf(std::string_view runId) {
        return std::max<std::uint64_t>(1, HashOf(runId, 0x13198a2e03707344ULL));
    }
    std::size_t Find(std::uint64_t id) const {
        std::size_t at = static_cast<std::size_t>(id % m_slots.size());
        while (m_slots[at].id != 0 && m_slots[at].id != id) {
            at = at + 1 == m_slots.size() ? 0 : at + 1;
        }
        return at;
    }

    std::vector<Slot> m_slots;  // open addressing, never more than two thirds full
};

}  // namespace strivo::store_detail
