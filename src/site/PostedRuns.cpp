#include "site/PostedRuns.h"

#include <chrono>
#include <ctime>
#include <set>

#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::string_view kHeader =
    "# Strivo: runs the community site confirmed: site user RunID time\n";

// "2026-12-07T10:11:12Z": digits where digits belong.
bool IsTime(std::string_view text) {
    constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

std::string NowUtc() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string SiteOf(const Settings& settings) {
    std::string host = settings.siteHost;
    for (char& c : host) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return host + ":" + std::to_string(settings.sitePort);
}

}  // namespace

PostedRuns::PostedRuns(std::filesystem::path file) : m_file(std::move(file)) {}

std::string PostedRuns::Key(std::string_view site, std::string_view user, std::string_view runId) {
    std::string key(site);
    key += '\n';
    key += user;
    key += '\n';
    key += runId;
    return key;
}

FileResult PostedRuns::Load() {
    std::lock_guard lock(m_mutex);
    bool empty = false;
    return LoadLocked(&empty);
}

FileResult PostedRuns::LoadLocked(bool* empty) {
    *empty = true;
    if (m_file.empty()) {
        return {};
    }
    const FileContent content = ReadWholeFile(m_file);
    if (content.exists && !content.ok) {
        return {FileError::CannotRead, "cannot read " + m_file.string()};
    }
    *empty = content.bytes.empty();
    m_postedOn.clear();
    m_warnings.clear();
    std::string_view rest = content.bytes;
    std::vector<std::string_view> fields;
    for (int number = 1; !rest.empty(); ++number) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);  // saved by a Windows editor
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        fields.clear();
        for (std::size_t at = 0; at <= line.size();) {
            const std::size_t space = std::min(line.find(' ', at), line.size());
            fields.push_back(line.substr(at, space - at));
            at = space + 1;
        }
        std::optional<std::string> site, user, runId;
        // The time comes last: a line cut short anywhere is no record.
        if (fields.size() == 4 && IsTime(fields[3])) {
            site = PercentDecode(fields[0]);
            user = PercentDecode(fields[1]);
            runId = PercentDecode(fields[2]);
        }
        if (!site || !user || !runId || runId->empty()) {
            m_warnings.push_back("line " + std::to_string(number) +
                                 ": not a record of a posted run, skipped");
            continue;
        }
        m_postedOn.emplace(Key(*site, *user, *runId), std::string(fields[3].substr(0, 10)));
    }
    return {};
}

FileResult PostedRuns::Open() {
    std::lock_guard lock(m_mutex);
    bool empty = false;
    if (m_file.empty()) {
        return LoadLocked(&empty);
    }
    // Opened before it is read: that keeps any other sync out, so what is
    // read stays true until Close. Read even when it could not be opened,
    // for the failed sync's report.
    using std::filesystem::perms;
    FileResult opened = m_appender.Open(m_file, perms::owner_read | perms::owner_write);
    if (const FileResult loaded = LoadLocked(&empty); !loaded) {
        m_appender.Close();
        return loaded;
    }
    if (opened && empty) {
        opened = m_appender.Append(kHeader);
    }
    if (!opened) {
        m_appender.Close();
        opened.error = "cannot write " + m_file.string() + ": " + opened.error;
    }
    return opened;
}

void PostedRuns::Close() {
    std::lock_guard lock(m_mutex);
    m_appender.Close();
}

std::vector<std::string> PostedRuns::warnings() const {
    std::lock_guard lock(m_mutex);
    return m_warnings;
}

std::optional<std::string> PostedRuns::PostedOn(const Settings& settings,
                                                std::string_view runId) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_postedOn.find(Key(SiteOf(settings), settings.siteUser, runId));
    if (found == m_postedOn.end()) {
        return std::nullopt;
    }
    return found->second;
}

FileResult PostedRuns::Add(const Settings& settings, std::string_view runId) {
    const std::string site = SiteOf(settings);
    const std::string time = NowUtc();
    std::lock_guard lock(m_mutex);
    if (!m_file.empty()) {
        FileResult written =
            m_appender.Append(PercentEncode(site) + " " + PercentEncode(settings.siteUser) + " " +
                              PercentEncode(runId) + " " + time + "\n");
        if (!written) {
            written.error = "cannot write " + m_file.string() + ": " + written.error;
            return written;
        }
    }
    m_postedOn[Key(site, settings.siteUser, runId)] = time.substr(0, 10);
    return {};
}

std::filesystem::path PostedRunsPathFor(const std::filesystem::path& settingsFile) {
    return settingsFile.parent_path() / "posted-runs.txt";
}

std::vector<PlannedRun> PlanSync(const RunRows& rows, const PostedRuns& record,
                                 const Settings& settings, bool postAll) {
    std::vector<PlannedRun> plan;
    plan.reserve(rows.size());
    std::set<std::string_view> seen;
    for (const RunRow& row : rows) {
        const std::string_view runId = row[kColumnRunId];
        PlannedRun planned{&row, RunAction::Post, {}};
        if (runId.empty()) {
            planned.action = RunAction::WithoutId;
        } else if (!seen.insert(runId).second) {
            planned.action = RunAction::Twice;
        } else if (auto postedOn = postAll ? std::nullopt : record.PostedOn(settings, runId)) {
            planned.action = RunAction::AlreadyPosted;
            planned.postedOn = std::move(*postedOn);
        }
        plan.push_back(std::move(planned));
    }
    return plan;
}

}  // namespace strivo
