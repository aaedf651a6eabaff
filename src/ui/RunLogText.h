#pragma once

// What the run log shows of its runs, in words: cells, tooltips, the footer,
// the strip, a run in full and an import's results. Chinese, CP936, whatever
// the locale; made from the engine's values where they are shown.

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "jobs/Import.h"
#include "jobs/RunLog.h"
#include "ui/RunLogSurface.h"

namespace strivo {

// A window text from the catalogue, in Chinese, CP936.
std::string RunLogWords(const char* english);

// A cell of `column` (RunLogColumnIndex) for `run`.
std::string RunLogCell(const jobs::LoggedRun& run, std::size_t column);
// Its tooltip: the source file for 来源, the whole reason for 失败 or 结果未知.
std::string RunLogTip(const jobs::LoggedRun& run, std::size_t column);
// The columns' titles and widths.
std::vector<RunLogColumn> RunLogColumns();

// A state as the state filter and the footer name it: 已上传, 未上传, ...
std::string RunLogStateText(jobs::RunLogState state);
// "2010-03-07 周日 06:48" (the run's own offset); the start as sent without one.
std::string RunLogDate(const jobs::LoggedRun& run);
// "5:24/km".
std::string RunLogPace(std::int64_t msPerKm);

// "显示28条：已上传24 · 不上传4；共212.3公里，19:04:16".
std::string RunLogFooter(const jobs::RunLogCounts& counts);
// The strip's figures, each a short text.
std::vector<std::string> RunLogStripTexts(const jobs::RunLogStrip& strip,
                                          std::span<const jobs::LoggedRun> runs);

// A run in full, with its posts for every site user; `actions` are the run's
// buttons.
RunLogRunView RunLogRunViewOf(const jobs::LoggedRun& run, std::span<const jobs::RunPost> posts,
                              std::vector<MenuItem> actions);

// An import's result dialog: each file read (`files`, UTF-8 paths, in
// order) and what became of it, from the job's tally and `added` (the runs
// the store now holds from each of `files`, as many), or why it failed.
RunLogImportResults RunLogImportResultsOf(const Result<jobs::ImportTally>& done,
                                          std::span<const std::string> files,
                                          std::span<const std::size_t> added);

}  // namespace strivo
