#pragma once

#include <string>

#include "model/Runs.h"

namespace strivo {

// Who started a sync: the window, strivo-cli at a terminal or in a script,
// or the platform's scheduler (strivo-cli --quiet without a terminal).
enum class SyncBy { Window, Cli, Schedule };

// How a sync ended: every run to post was posted; it failed (before posting
// or in a post); a stop was asked for.
enum class SyncEnd { Done, Failed, Stopped };

// One sync, as the store keeps it: the last kSyncsKept of them.
struct SyncRecord {
    StoreTime started, ended;
    SyncBy by = SyncBy::Cli;
    SiteKey site;
    SyncEnd end = SyncEnd::Done;
    std::string reason;  // why it failed: a problem's key (ProblemKey), or empty
    int posted = 0;
    int failed = 0;   // the site did not take them, or sent without an answer
    int held = 0;     // held back from an earlier sync, for the runner to settle
    int untried = 0;  // never sent: the sync stopped before them
};

inline constexpr int kSyncsKept = 1000;

// The store's words for these: "window", "cli", "schedule"; "done", "failed",
// "stopped". Text that is none of them reads as the first value.
const char* SyncByKey(SyncBy by);
SyncBy SyncByFromKey(std::string_view key);
const char* SyncEndKey(SyncEnd end);
SyncEnd SyncEndFromKey(std::string_view key);
// What both faces say of them, untranslated ("by the schedule", "failed").
const char* SyncByWords(SyncBy by);
const char* SyncEndWords(SyncEnd end);

// A host that asked to be left alone, and until when.
struct HostPause {
    std::string host;
    int port = 0;
    StoreTime notBefore;
    std::string reason;  // a problem's key: the answer that asked
};

// A password a service refused, as the store keeps it (never the password).
struct PasswordRefusal {
    std::string service;  // kServiceRunService or kServiceSite
    std::string host;
    int port = 0;
    std::string user;  // CP936
    StoreTime refused;
};

inline constexpr const char* kServiceRunService = "runservice";
inline constexpr const char* kServiceSite = "site";

}  // namespace strivo
