#pragma once

#include <string>
#include <vector>

#include "model/SyncRecord.h"

namespace strivo {

// How many syncs the window's record shows.
inline constexpr int kSyncsShown = 20;

// The window's record of syncs (CP936, in Chinese), one line each, the newest
// first: when, who, how it ended, the counts, and why it failed.
std::string SyncRecordText(const std::vector<SyncRecord>& syncs);

}  // namespace strivo
