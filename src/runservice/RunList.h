#pragma once

#include <string>
#include <string_view>

#include "jobs/RunTable.h"

namespace strivo {

// "2010-04-18T07:05:11+08:00" -> "2010-04-18 07:05:11": the offset is dropped
// (no time-zone arithmetic) and every "T" becomes a space. A trailing "Z" or
// "-hh:mm" is dropped like "+hh:mm", so such times keep their date and time.
std::string TrimTimestamp(std::string_view timestamp);

// One row per "run id=" ... "</run>" in the run list, numbered from 1 in body
// order; fields are looked up inside each run only. A run without its
// "</run>" (a cut-off answer) ends the list; the complete runs before it stay.
// Linear in the size of the body.
RunRows ParseRunList(std::string_view body);

// Parses the whole body, then adds all its rows to the table in one step.
void FillRunTable(RunTable& table, std::string_view body);

// The summary sentence from the account data (CP936, already converted from
// UTF-8): "<name>，您已完成 <km> KM，用时 <duration>，消耗 <kcal> 千卡。".
// Missing fields leave their place empty; the frame always stands.
std::string BuildSummary(std::string_view accountData);

// The summary's room: longer sentences are cut there, between characters.
inline constexpr std::size_t kSummaryMaxBytes = 250;

}  // namespace strivo
