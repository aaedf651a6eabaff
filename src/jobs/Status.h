#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/SyncRecord.h"

namespace strivo::jobs {

// At most this many held runs are named; the count says the rest.
inline constexpr std::size_t kHeldNamed = 20;

// The schedule as the platform's scheduler holds it.
struct ScheduleState {
    enum class Kind { None, Daily, Hourly, Unreadable };
    Kind kind = Kind::None;
    std::string clock;  // daily: "06:30"
    std::optional<StoreTime> nextRun;
    std::optional<Problem> problem;  // Unreadable: why
};

// What a runner checks on an unattended sync, without the network or a
// password: how the last sync went, what is left for them, what runs when.
struct StatusReport {
    std::optional<SyncRecord> lastSync;
    int held = 0;                      // runs held back, for the runner to settle
    std::vector<std::string> heldIds;  // the first kHeldNamed of them (CP936)
    int neverPosted = 0;               // stored runs not on the run log yet
    // Stored runs kept off the run log (imported and not released, or
    // skipped), and the first kHeldNamed of them, oldest start first.
    int keptOff = 0;
    std::vector<std::string> keptOffIds;
    std::vector<HostPause> pauses;  // hosts that asked to be left alone, still
    std::vector<PasswordRefusal> refusals;
    ScheduleState schedule;
    std::optional<Problem> noNotices;          // why a scheduled sync could show no notice
    std::filesystem::path storePath;           // empty: the store in memory
    std::optional<std::uintmax_t> storeBytes;  // none: no store yet

    // Held runs, a last sync that failed, or a refused password: the runner
    // has something to do.
    bool NeedsRunner() const;
};

// Reads the store (never creating it) and the scheduler.
Result<StatusReport> Status(const Workspace& where, StoreTime now);

// The last `count` syncs, the newest first; none while there is no store.
Result<std::vector<SyncRecord>> LastSyncs(const Workspace& where, int count);

// The schedule alone, as Status reads it.
ScheduleState ReadSchedule(StoreTime now);

}  // namespace strivo::jobs
