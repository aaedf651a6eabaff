#include "runservice/RunList.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <tuple>

#include "io/RunText.h"
#include "io/TimeText.h"
#include "text/ByteScan.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::string_view kRunStart = "run id=";
constexpr std::string_view kRunEnd = "</run>";
constexpr std::string_view kSuccess = "success";

// The fields of a run, each between its tag and the next "</".
enum Field { kStartTime, kDistance, kDuration, kCalories, kSyncTime, kFieldCount };
constexpr std::array<std::string_view, kFieldCount> kFieldTags = {
    "<startTime>", "<distance>", "<duration>", "<calories>", "<syncTime>"};

// Whether `marker` stands at `at` (within the text). Its length is known
// here, so the compiler compares a word or two rather than calling memcmp.
template <std::size_t N>
bool MarkerAt(std::string_view text, std::size_t at, const char (&marker)[N]) {
    return text.size() - at >= N - 1 && std::memcmp(text.data() + at, marker, N - 1) == 0;
}

// The first `marker` at or after `from`, or npos, as std::string_view::find
// finds it, but looking for its byte at `Key` (best a rare one) a block at a
// time rather than calling memchr for each of its first byte: runs, their
// tags and their quotes stand a few bytes apart.
template <std::size_t Key = 0, std::size_t N>
std::size_t Find(std::string_view text, std::size_t from, const char (&marker)[N]) {
    static_assert(Key < N - 1);
    std::size_t at = from + Key;  // where the key byte may be
    for (; at + byte_scan::kBlock <= text.size(); at += byte_scan::kBlock) {
        for (std::uint32_t keys = byte_scan::BlockEqual(text.data() + at, marker[Key]); keys != 0;
             keys &= keys - 1) {
            if (const std::size_t found = at + byte_scan::FirstInBlock(keys) - Key;
                MarkerAt(text, found, marker)) {
                return found;
            }
        }
    }
    for (at -= Key; at < text.size(); ++at) {
        if (MarkerAt(text, at, marker)) {
            return at;
        }
    }
    return std::string_view::npos;
}

// Every "<" in the block from `at` (fewer bytes at the end of the text).
std::uint32_t TagStarts(std::string_view text, std::size_t at) {
    if (text.size() - at >= byte_scan::kBlock) {
        return byte_scan::BlockEqual(text.data() + at, '<');
    }
    std::uint32_t starts = 0;
    for (std::size_t byte = 0; at + byte < text.size(); ++byte) {
        if (text[at + byte] == '<') {
            starts |= 1u << byte;
        }
    }
    return starts;
}

// Which field's tag starts at `at` (a "<"), or kFieldCount.
Field FieldTagAt(std::string_view text, std::size_t at) {
    if (at + 1 >= text.size()) {
        return kFieldCount;
    }
    switch (text[at + 1]) {
        case 's':
            return MarkerAt(text, at, "<startTime>")  ? kStartTime
                   : MarkerAt(text, at, "<syncTime>") ? kSyncTime
                                                      : kFieldCount;
        case 'd':
            return MarkerAt(text, at, "<distance>")   ? kDistance
                   : MarkerAt(text, at, "<duration>") ? kDuration
                                                      : kFieldCount;
        case 'c':
            return MarkerAt(text, at, "<calories>") ? kCalories : kFieldCount;
        default:
            return kFieldCount;
    }
}

// Where `marker` ends, counted from the start of `carried`, when it begins
// in `carried` (the end of the text before) and ends in `text`; else npos.
std::size_t EndStraddling(std::string_view carried, std::string_view text,
                          std::string_view marker) {
    const std::size_t overlap = std::min(carried.size(), marker.size() - 1);
    std::string joined(carried.substr(carried.size() - overlap));
    joined += text.substr(0, marker.size() - 1);
    const std::size_t at = joined.find(marker);
    return at == std::string::npos ? at : carried.size() - overlap + at + marker.size();
}

std::string_view Tail(std::string_view text, std::size_t bytes) {
    return text.substr(text.size() - std::min(text.size(), bytes));
}

// The fixed pieces of the summary sentence, in CP936.
struct SummaryFrame {
    std::string completed = Utf8ToCp936("，您已完成 ");
    std::string kilometres = Utf8ToCp936(" KM，用时 ");
    std::string consumed = Utf8ToCp936("，消耗 ");
    std::string kilocalories = Utf8ToCp936(" 千卡。");
};

const SummaryFrame& Frame() {
    static const SummaryFrame frame;
    return frame;
}

}  // namespace

void RunListReader::Feed(std::string_view text) {
    LookForSuccess(text);
    std::string before;  // what may begin a run start with the front of `text`
    if (!m_inRun && !m_carried.empty()) {
        const std::size_t end = EndStraddling(m_carried, text, kRunStart);
        if (end != std::string_view::npos) {
            m_carried.erase(0, end - kRunStart.size());
            m_inRun = true;
        } else {
            before.swap(m_carried);
        }
    }
    std::size_t from = 0;
    if (m_inRun) {
        // Complete the run the text before ended in, from the front of this one.
        const std::size_t carried = m_carried.size();
        std::size_t end = EndStraddling(m_carried, text, kRunEnd);
        if (end == std::string_view::npos) {
            const std::size_t at = text.find(kRunEnd);
            if (at == std::string_view::npos) {
                m_carried += text;
                return;
            }
            end = carried + at + kRunEnd.size();
        }
        m_carried += text.substr(0, end - carried);
        ReadRun(m_carried, 0);
        // The next run is looked for from this one's "</run>" on.
        from = end - carried > kRunEnd.size() ? end - carried - kRunEnd.size() : 0;
    }
    m_carried.clear();
    m_inRun = false;
    const std::size_t rest = ReadRuns(text, from);
    if (!m_inRun) {
        m_carried = rest == 0 ? Tail(before + std::string(Tail(text, kRunStart.size())),
                                     kRunStart.size() - 1)
                              : Tail(text.substr(rest), kRunStart.size() - 1);
    }
}

RunList RunListReader::Finish() {
    RunList rows = m_rows.Finish();
    *this = RunListReader(std::move(m_onRun));
    return rows;
}

void RunListReader::NoteZeroByteCut(std::string_view before) {
    constexpr std::string_view kIdStart = "run id=\"";
    const std::size_t at = before.rfind(kIdStart);
    if (at != std::string_view::npos && before.find('"', at + kIdStart.size()) == before.npos) {
        m_cutRunIds.emplace_back(before.substr(at + kIdStart.size()));
    }
}

std::size_t RunListReader::ReadRuns(std::string_view text, std::size_t from) {
    for (std::size_t at = from;;) {
        const std::size_t start = Find(text, at, "run id=");
        if (start == std::string_view::npos) {
            return at;
        }
        const std::size_t end = ReadRun(text, start);
        if (end == std::string_view::npos) {
            m_carried = text.substr(start);  // cut off here, for now
            m_inRun = true;
            return text.size();
        }
        at = end;
    }
}

std::size_t RunListReader::ReadRun(std::string_view text, std::size_t start) {
    // A walk over the tags finds the first tag of each field (its value ends
    // at the first "</" after it), and the run's end, looked for on its own
    // once every field has its value.
    std::array<std::size_t, kFieldCount> valueStart{};
    std::array<std::string_view, kFieldCount> values{};
    unsigned seen = 0;
    unsigned open = 0;
    std::size_t end = std::string_view::npos;
    for (std::size_t block = start; block < text.size() && end == std::string_view::npos;
         block += byte_scan::kBlock) {
        for (std::uint32_t tags = TagStarts(text, block); tags != 0; tags &= tags - 1) {
            const std::size_t at = block + byte_scan::FirstInBlock(tags);
            if (at + 1 < text.size() && text[at + 1] == '/') {
                if (MarkerAt(text, at, "</run>")) {
                    end = at;
                    break;
                }
                for (unsigned field = 0; open != 0; ++field, open >>= 1) {
                    if (open & 1) {
                        values[field] = text.substr(valueStart[field], at - valueStart[field]);
                    }
                }
                if (seen == (1u << kFieldCount) - 1) {
                    end = Find<3>(text, at + 1, "</run>");  // by its "u"
                    if (end == std::string_view::npos) {
                        return end;
                    }
                    break;
                }
                continue;
            }
            const Field field = FieldTagAt(text, at);
            if (field != kFieldCount && (seen & (1u << field)) == 0) {
                seen |= 1u << field;
                open |= 1u << field;
                valueStart[field] = at + kFieldTags[field].size();
            }
        }
    }
    if (end == std::string_view::npos) {
        return end;
    }
    const std::string_view run = text.substr(start, end - start);
    std::string_view runId;
    if (const std::size_t quote = Find(run, 0, "\""); quote != std::string_view::npos) {
        if (const std::size_t close = Find(run, quote + 1, "\" ");
            close != std::string_view::npos) {
            runId = run.substr(quote + 1, close - quote - 1);
        }
    }
    Run made = ServiceRun(runId, {values[kStartTime], values[kDistance], values[kDuration],
                                  values[kCalories], values[kSyncTime]});
    ++m_count;
    if (m_onNumbered) {
        m_onNumbered(made, m_count);
    }
    if (m_onRun) {
        m_onRun(made);
    }
    if (!m_onNumbered) {
        m_rows.Add(std::move(made));
    }
    return end;
}

void RunListReader::LookForSuccess(std::string_view text) {
    if (m_success) {
        return;
    }
    m_success = EndStraddling(m_successTail, text, kSuccess) != std::string_view::npos ||
                text.find(kSuccess) != std::string_view::npos;
    m_successTail =
        Tail(m_successTail + std::string(Tail(text, kSuccess.size())), kSuccess.size() - 1);
}

RunList ParseRunList(std::string_view body) {
    RunListReader reader;
    reader.Feed(body);
    return reader.Finish();
}

void FillRunTable(RunTable& table, std::string_view body) {
    table.Append(ParseRunList(body));
}

std::string BuildSummary(std::string_view accountData) {
    const SummaryFrame& frame = Frame();
    // Each marker is looked up from the start of the answer, on its own.
    std::string summary(TrimBlanks(TextBetween(accountData, "[CDATA[", "]")));
    summary += frame.completed;
    summary += TextBetween(accountData, "<totalDistance>", "</");
    summary += frame.kilometres;
    summary += FormatDuration(TextBetween(accountData, "<totalDuration>", "</"));
    summary += frame.consumed;
    summary += TextBetween(accountData, "<totalCalories>", "</");
    summary += frame.kilocalories;
    return std::string(Cp936Prefix(summary, kSummaryMaxBytes));
}

}  // namespace strivo
