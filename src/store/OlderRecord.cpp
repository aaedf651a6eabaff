// posted-runs.txt, the record of posted runs older versions kept: imported
// once as confirmed posts, and again from where the last import stopped.

#include <algorithm>
#include <optional>
#include <unordered_set>

#include "io/AtomicFile.h"
#include "store/RunStore.h"
#include "store/Statement.h"
#include "store/StorePaths.h"

namespace strivo {

using store_detail::Statement;

Result<std::vector<OlderRecordImport>> RunStore::ImportPostedRuns(
    std::span<const std::filesystem::path> files) {
    // Most stores have no older record beside them: then nothing is written,
    // and a sync's commits stay one per post.
    const bool anyRecord = std::ranges::any_of(files, [](const std::filesystem::path& file) {
        std::error_code error;
        return std::filesystem::is_regular_file(file, error);
    });
    std::optional<StoreTransaction> transaction;
    if (anyRecord) {
        transaction.emplace(*this);
        if (!transaction->begun()) {
            return transaction->begun().problem();
        }
    }
    Statement offset(m_db, "SELECT imported_bytes FROM imports WHERE path=?");
    Statement remember(m_db, "INSERT OR REPLACE INTO imports VALUES(?, ?)");
    Statement confirm(m_db,
                      "INSERT INTO posts(account, run_id, state, outcome_ms) "
                      "VALUES(?1, ?4, 'confirmed', ?5) ON CONFLICT DO UPDATE "
                      "SET state='confirmed', outcome_ms=?5, reason=NULL "
                      "WHERE state IN ('failed', 'unknown')");
    if (!offset.ok() || !remember.ok() || !confirm.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    std::vector<OlderRecordImport> reports;
    std::unordered_set<std::string> seen;
    for (const std::filesystem::path& file : files) {
        OlderRecordImport report;
        std::error_code error;
        const std::filesystem::path real = std::filesystem::weakly_canonical(file, error);
        if (!seen.insert(PathText(error ? file : real)).second) {
            continue;  // the same file by two names
        }
        if (const char* kind = store_detail::NotARegularFile(error ? file : real)) {
            report.problem = Problem(ProblemCode::OlderRecordNotRegular, {PathText(file), kind});
        } else if (std::filesystem::exists(file, error)) {
            const Result<std::string> content = ReadWholeFile(file);
            offset.Bind(1, PathText(file));
            std::int64_t from = offset.Step() == SQLITE_ROW ? offset.Int(0) : 0;
            offset.Reset();
            if (!content) {
                report.problem = content.problem();
            } else {
                // A file shorter than what was read of it is another file.
                if (from > static_cast<std::int64_t>(content->size())) {
                    from = 0;
                }
                const PostedRunsLines lines =
                    ParsePostedRuns(*content, static_cast<std::size_t>(from));
                for (const PostedRunLine& line : lines.records) {
                    const Result<std::int64_t> account =
                        AccountId("site", line.host, line.port, line.user, true);
                    if (!account) {
                        return account.problem();
                    }
                    confirm.Bind(1, *account).BindCp936(4, line.runId).Bind(5, line.utcMs);
                    if (!confirm.Run()) {
                        return Failure(ProblemCode::StoreCannotWrite);
                    }
                }
                report.imported = static_cast<int>(lines.records.size());
                if (lines.badLines > 0) {
                    report.problem = Problem(ProblemCode::OlderRecordBadLines,
                                             {PathText(file), std::to_string(lines.badLines)});
                }
                remember.Bind(1, PathText(file)).Bind(2, static_cast<std::int64_t>(lines.end));
                if (!remember.Run()) {
                    return Failure(ProblemCode::StoreCannotWrite);
                }
            }
        }
        reports.push_back(std::move(report));
    }
    if (transaction) {
        if (Outcome committed = transaction->Commit(); !committed) {
            return committed.problem();
        }
    }
    return reports;
}

}  // namespace strivo
