#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The runs and the run-log posts as every floor speaks of them.
namespace strivo {

using StoreTime = std::chrono::system_clock::time_point;

// Where runs come from: the run service's host (lower case) and port.
struct ServiceKey {
    std::string host;
    int port = 0;
};
// Where runs go: the community site's host (lower case), port and user.
struct SiteKey {
    std::string host;
    int port = 0;
    std::string user;
};

// A run as the store keeps it: the texts the service sent (none for a run
// read from a file), its values, and when and how it was kept. Where it is
// shown or sent, it is a Run (model/Run.h).
struct StoredRun {
    std::string runId, startTime, distance, duration, calories, syncTime;
    std::optional<std::int64_t> startUtcMs, syncUtcMs;  // without an offset, no instant
    std::optional<int> startOffsetMinutes, syncOffsetMinutes;
    std::optional<double> distanceMetres;
    std::optional<std::int64_t> durationMs, calorieCount;
    StoreTime firstSeen, lastSeen;
    bool inLatestList = false;  // false: the service stopped listing it
    // Read from a file: its format ("gpx", "tcx", "fit", "csv") and name;
    // both empty for a run of the run service.
    std::string source, sourceFile;
};

// Excluded: the runner keeps the run off the run log (or an imported run not
// released yet); no sync posts it, not even --all.
enum class PostState { Sending, Confirmed, Failed, Unknown, Excluded };
const char* PostStateName(PostState state);  // "sending", "confirmed", ...

struct PostRecord {
    PostState state = PostState::Sending;
    std::optional<StoreTime> intentAt, outcomeAt;
    // Why it failed, or why its outcome is unknown: a Problem's key
    // (model/ProblemKey.h), or the words of an older version.
    std::string reason;
};

// How a post ended, as the sync saw it.
enum class PostResult {
    Confirmed,  // the site answered the post itself with 2xx
    Failed,     // any other answer, or no connection: posted again next time
    Unknown,    // sent, no complete answer: held back until settled
    NotSent,    // the request never left: the intent is undone
};
struct PostOutcome {
    std::string runId;
    PostResult result = PostResult::Confirmed;
    std::string reason;  // as PostRecord::reason
    StoreTime at;
};

}  // namespace strivo
