#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/RunFigures.h"
#include "model/Runs.h"

// The small ways strivo-cli words what it prints.
namespace strivo {

// "2026-12-07" in this machine's time zone; "?" for no time.
std::string LocalDate(const std::optional<StoreTime>& at);
// RunIDs (CP936) for a terminal, space-separated: the first 20, each cut to
// a readable length ("" for an empty one), then how many more.
std::string Ids(const std::vector<std::string>& runIds);
// One run on one line: start time, kilometres, duration, RunID (all CP936);
// with `pace` ("5:24/km", or empty where none is known), it after the duration.
std::string RunLine(std::string_view start, std::string_view distance, std::string_view duration,
                    std::string_view runId, const std::string* pace = nullptr);
// Columns a UTF-8 text takes: two for a character of three bytes or more
// (Chinese), one for any other.
std::size_t Utf8Width(std::string_view utf8);
// `text` as one word of the shell: quoted when it holds anything but letters,
// digits and - _ . / : = + , @ %.
std::string ShellQuoted(std::string_view text);
// What a total or a file left out of a run, in the user's words.
std::string DescribeRunProblem(const RunProblem& problem);

}  // namespace strivo
