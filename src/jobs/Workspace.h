#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "model/Result.h"
#include "model/SyncRecord.h"
#include "net/Transfer.h"
#include "settings/Settings.h"

namespace strivo::jobs {

// Where the jobs work: the settings (credentials resolved by the face), the
// web sessions' settings, and where the store lies: strivo.db beside the
// settings file, or (the demo) a store in this process's memory that lives
// as long as the workspace. Each job opens the store itself.
struct Workspace {
    Settings settings;
    WebSessionConfig session;
    std::filesystem::path settingsPath;  // empty for the demo
    std::string memoryStore;             // the demo's store's name; empty: strivo.db
    std::shared_ptr<const void> keepAlive;
    // Who runs the jobs: a sync's record names them.
    SyncBy by = SyncBy::Window;
    // Nobody at a terminal to see a refused password: one refused before is
    // not sent again until it changes, so a schedule cannot lock the account.
    bool unattended = false;

    // strivo.db, symbolic links resolved; empty for a store in memory.
    std::filesystem::path StorePath() const;
    // How a message names the store: its path, or empty for the one in memory.
    bool InMemory() const { return !memoryStore.empty(); }
    // The posted-runs.txt files of older versions that go with the store.
    std::vector<std::filesystem::path> OlderRecords() const;
    // Whether there is a store to read (the one in memory always is).
    bool StoreExists() const;
};

// The workspace of a settings file.
Workspace ForSettingsFile(const std::filesystem::path& settingsPath, Settings settings,
                          WebSessionConfig session);
// A workspace whose store lives in memory (--demo): nothing is read or
// written on disk.
Result<Workspace> InMemory(Settings settings, WebSessionConfig session);

}  // namespace strivo::jobs
