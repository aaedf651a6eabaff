#pragma once

#include <filesystem>

#include "files/ByteSource.h"
#include "files/ImportedRun.h"
#include "files/RunFileRecogniser.h"
#include "model/Result.h"

namespace strivo {

// The reader of a format, as every one of them is called.
using RunFileReader = Result<RunFile> (*)(ByteSource& source, RunSink& sink);

// The reader of `format`; null for a format this build cannot read yet.
RunFileReader ReaderFor(RunFileFormat format);

// The runs of a file on disk, each handed to `sink` as it is read:
// recognised by its first bytes and its name (RecogniseRunFile), inflated
// when gzip wraps it, read by its format's reader, in pieces. What is wrong
// inside the file comes as ImportFileFailed naming it, caused by the
// reader's or gzip's problem; what keeps it from being read at all, as the
// problem of opening or reading it. Either way the runs handed out before
// count for nothing.
Result<RunFile> ReadRunFile(const std::filesystem::path& path, RunSink& sink);
// The same, keeping the runs in the file.
Result<RunFile> ReadRunFile(const std::filesystem::path& path);

// The same for bytes from any source; `name` gives the name to check and to
// name in problems.
Result<RunFile> ReadRunFile(ByteSource& source, const std::filesystem::path& name, RunSink& sink);
Result<RunFile> ReadRunFile(ByteSource& source, const std::filesystem::path& name);

}  // namespace strivo
