#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "history/RunFigures.h"
#include "jobs/Workspace.h"
#include "model/Progress.h"
#include "model/Result.h"

namespace strivo::jobs {

struct FitExported {
    int files = 0;                     // FIT files written
    int leftOut = 0;                   // runs not written
    std::vector<RunProblem> problems;  // runs left out or written in part, each named
};

// Writes each stored run of the account (or those of `runIds` the store
// holds) as a FIT activity file into the folder `folder`, made when missing:
// named by its local start ("2010-03-07-064838.fit", "...-2.fit" for a second
// run of the same second), each written whole or not at all, nothing else in
// the folder touched. Each file is made new, never written through a link: a
// name held by a link or anything but a regular file is left as it is, and
// its run left out and named. So is a run with a value that does not parse
// or that FIT cannot hold (MisfitOf); calories FIT cannot hold are left unset
// and named. Reports FileExported after each file. Stops at the first file
// that cannot be written, with that problem.
Result<FitExported> ExportFit(const Workspace& where, const std::filesystem::path& folder,
                              ProgressSink& sink,
                              std::optional<std::span<const std::string>> runIds = std::nullopt);

}  // namespace strivo::jobs
