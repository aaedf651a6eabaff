#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

#include "files/ImportedRun.h"
#include "model/Result.h"

namespace strivo {

// What a run file is: its format, and whether gzip wraps it.
struct RunFileKind {
    RunFileFormat format = RunFileFormat::Gpx;
    bool gzip = false;
    bool operator==(const RunFileKind&) const = default;
};

// How many of a file's first bytes RecogniseRunFile looks at.
inline constexpr std::size_t kRecogniseBytes = 4096;

// A file's kind from its first bytes (up to kRecogniseBytes; gzip's are
// inflated here to see what they hold), checked against the ending of its
// name (.gpx, .tcx, .fit, .csv, each also with .gz, in any case):
//   GPX    an XML document whose root is <gpx>
//   TCX    an XML document whose root is <TrainingCenterDatabase>
//   FIT    ".FIT" at byte 8
//   CSV    Strivo's title line, or a first line that starts as a run's does
//          ("1,2010-04-20 06:30:15,")
// Content and name must agree: ImportNameMismatch when they do not. A name
// with another ending leaves it to the content; XML whose root lies beyond
// the bytes looked at, to the name. ImportZip for a zip archive,
// ImportNotARunFile when neither tells. `name` fills {0} of the problems.
Result<RunFileKind> RecogniseRunFile(std::string_view firstBytes,
                                     const std::filesystem::path& name);

// The kind a file name's ending gives, if any.
std::optional<RunFileKind> KindOfName(const std::filesystem::path& name);

}  // namespace strivo
