#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/AtomicFile.h"
#include "rows/RunTable.h"
#include "settings/Settings.h"

namespace strivo {

// The runs a community site confirmed, for each site (host and port) and user:
// a text file that only grows, one line per confirmed post,
//   bbs.kelvora.example:80 %C0%EE 1100309028 2026-12-07T10:11:12Z
// (site, user and RunID percent-encoded, then the time in UTC). Lines that
// are not records, such as a line cut short by a crash, are skipped.
// Any thread.
class PostedRuns {
public:
    // Kept in `file`, or only in memory when it is empty (the demo).
    explicit PostedRuns(std::filesystem::path file = {});

    const std::filesystem::path& file() const { return m_file; }

    // Reads the file again; a missing one is empty.
    FileResult Load();
    // Opens the file for appending, creating it readable by its owner only,
    // then loads it. Fails, saying why, when the record cannot be written,
    // or while another PostedRuns, in any process, has it open.
    FileResult Open();
    // Lets another PostedRuns open the file.
    void Close();
    // The lines the last Load skipped, as "line N: ..." texts.
    std::vector<std::string> warnings() const;

    // The day (UTC, YYYY-MM-DD) the site of `settings` confirmed the run for
    // its user, if it did.
    std::optional<std::string> PostedOn(const Settings& settings, std::string_view runId) const;
    // Records a confirmed post: on disk before it returns.
    FileResult Add(const Settings& settings, std::string_view runId);

private:
    FileResult LoadLocked(bool* empty);
    static std::string Key(std::string_view site, std::string_view user, std::string_view runId);

    const std::filesystem::path m_file;
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_postedOn;  // Key -> YYYY-MM-DD
    std::vector<std::string> m_warnings;
    AppendOnlyFile m_appender;
};

// The record that goes with a settings file: beside it.
std::filesystem::path PostedRunsPathFor(const std::filesystem::path& settingsFile);

// What a sync does with each row of the run table, in table order.
enum class RunAction { Post, AlreadyPosted, Twice, WithoutId };
struct PlannedRun {
    const RunRow* row;
    RunAction action;
    std::string postedOn;  // AlreadyPosted: YYYY-MM-DD
};
// A row without a RunID is never posted; a RunID seen before in the list is
// posted once; one the record holds is posted again only with `postAll`.
std::vector<PlannedRun> PlanSync(const RunRows& rows, const PostedRuns& record,
                                 const Settings& settings, bool postAll);

}  // namespace strivo
