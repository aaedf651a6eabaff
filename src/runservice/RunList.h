#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/RunTable.h"
#include "model/Runs.h"

namespace strivo {

// Reads a run list as it arrives, in pieces of any size, without holding
// more of it than the run it is in: one run per "run id=" ... "</run>",
// numbered from 1 in body order; fields are looked up inside each run only.
// A run without its "</run>" (a cut-off answer) ends the list; the complete
// runs before it stay. A run's values are read from its texts: the start
// (with its offset), kilometres, milliseconds and calories. Linear in the
// size of the text.
class RunListReader {
public:
    // Hears each complete run as it is read (the store keeps them as they
    // arrive); the run lives for the call only.
    using RunHandler = std::function<void(const Run& run)>;
    explicit RunListReader(RunHandler onRun = {}) : m_onRun(std::move(onRun)) {}
    // Each run to `onRun` with its 序号 as it is read, none kept: Finish then
    // gives none.
    using NumberedRunHandler = std::function<void(const Run& run, std::int64_t number)>;
    void SendRunsTo(NumberedRunHandler onRun) { m_onNumbered = std::move(onRun); }

    void Feed(std::string_view text);
    // Whether "success" stands anywhere in the text so far: the service's
    // answer with a run list, not an error page.
    bool SaysSuccess() const { return m_success; }
    // Whether the text so far ends outside a run: a list cut off inside one
    // is not whole, though its complete runs count.
    bool EndsOutsideARun() const { return !m_inRun; }
    // The complete runs; the reader starts again empty.
    RunList Finish();
    // A zero byte cut a read of the list after `before` (WebSession's
    // zeroByteCuts): inside a RunID, that run is lost with the rest of its
    // line, and its RunID up to the zero byte is kept to name it.
    void NoteZeroByteCut(std::string_view before);
    const std::vector<std::string>& CutRunIds() const { return m_cutRunIds; }

private:
    // Reads the run starting at `start`; returns where its "</run>" is, or
    // npos (and makes no run) when `text` ends first.
    std::size_t ReadRun(std::string_view text, std::size_t start);
    // Reads the runs from `from` on; returns where it found no further run
    // start, or the end of `text` when the text ends inside a run.
    std::size_t ReadRuns(std::string_view text, std::size_t from);
    void LookForSuccess(std::string_view text);

    RunHandler m_onRun;
    NumberedRunHandler m_onNumbered;
    RunList::Builder m_rows;
    std::int64_t m_count = 0;
    std::string m_carried;  // the end of the text so far, where a run may begin or has begun
    bool m_inRun = false;   // m_carried starts with "run id="
    bool m_success = false;
    std::string m_successTail;  // the last bytes, where "success" may begin
    std::vector<std::string> m_cutRunIds;
};

// The runs of a whole run list.
RunList ParseRunList(std::string_view body);

// Parses the whole body, then adds all its runs to the table in one step.
void FillRunTable(RunTable& table, std::string_view body);

// The summary sentence from the account data (CP936, already converted from
// UTF-8): "<name>，您已完成 <km> KM，用时 <duration>，消耗 <kcal> 千卡。".
// Missing fields leave their place empty; the frame always stands.
std::string BuildSummary(std::string_view accountData);

// The summary's room: longer sentences are cut there, between characters.
inline constexpr std::size_t kSummaryMaxBytes = 250;

}  // namespace strivo
