#pragma once

#include <cstddef>
#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

#include "jobs/Workspace.h"
#include "model/Problem.h"
#include "model/Progress.h"
#include "model/Result.h"

namespace strivo::jobs {

struct ImportRequest {
    std::vector<std::filesystem::path> paths;  // files and folders (walked below)
    bool post = false;  // release the runs for the next sync; else they start excluded
};

struct ImportTally {
    int files = 0;        // run files looked at
    int imported = 0;     // runs added to the store
    int duplicates = 0;   // runs already stored: not added
    int unreadable = 0;   // files (or paths) that could not be read: none of their runs added
    int otherSports = 0;  // activities of other sports, skipped
    std::size_t passedOver = 0;       // files in the folders and archives that are no run files
    std::vector<Problem> problems;    // each unreadable file or path, named, with why
    std::vector<Problem> duplicated;  // ImportDuplicateRun for each duplicate
    // Each file read whole that holds no activity: ImportCourse, ImportWorkout
    // or ImportNoActivity, naming it.
    std::vector<Problem> withoutActivity;
    std::vector<std::string> keptOff;  // the keys of the runs added excluded, in order
    std::vector<Problem> warnings;     // ImportFileWarning: files read, with what was passed over
    bool stopped = false;              // a stop was asked for: the files after were not read

    bool ok() const { return unreadable == 0; }
    ImportCounts counts() const;
};

// Reads runs from GPX, TCX, FIT and Strivo CSV files (each also gzipped), and
// from the folders and zip archives given, into the history of the account
// in the settings; a file in an archive is named ARCHIVE/ENTRY.
// Each file's runs go into the store together or not at all; a run already
// stored (from any source) is not added again but named. Runs without an
// offset of their own take the machine's time zone at their start. The runs
// added are kept off the run log for the site user in the settings (excluded)
// unless `post`. Takes the store's sync lock, as it writes posts. Reports
// FileImported after each file, and ImportDone at the end (naming the first
// 20 unreadable files in its warnings, then the first 20 without an
// activity, then the first 20 files read with a warning). Fails only when the
// store cannot be used; a file that cannot be read is counted and named, and
// the others are read. A stop ends the read of the files in hand at once; none
// of their runs is stored.
Result<ImportTally> Import(const Workspace& where, const ImportRequest& request, ProgressSink& sink,
                           std::stop_token stop = {});

}  // namespace strivo::jobs
