#pragma once

#include <filesystem>
#include <stop_token>

#include "files/ByteSource.h"
#include "files/ImportedRun.h"
#include "files/RunFileRecogniser.h"
#include "files/RunFileWalk.h"
#include "model/Result.h"

namespace strivo {

// The reader of a format, as every one of them is called.
using RunFileReader = Result<RunFile> (*)(ByteSource& source);

// The reader of `format`; null for a format this build cannot read yet.
RunFileReader ReaderFor(RunFileFormat format);

// The runs of a file on disk: recognised by its first bytes and its name
// (RecogniseRunFile), inflated when gzip wraps it, read by its format's
// reader, in pieces. What is wrong inside the file comes as ImportFileFailed
// naming it, caused by the reader's or gzip's problem; what keeps it from
// being read at all, as the problem of opening or reading it. Once `stop` is
// asked for, the reader meets the end of its bytes and ImportStopped comes.
Result<RunFile> ReadRunFile(const std::filesystem::path& path, std::stop_token stop = {});

// The same for bytes from any source; `name` gives the name to check and to
// name in problems.
Result<RunFile> ReadRunFile(ByteSource& source, const std::filesystem::path& name,
                            std::stop_token stop = {});

// The same for a place the walk found: a file on disk, or an entry of a zip
// archive, named ARCHIVE/ENTRY. An entry's own problems (ZipEntryUnreadable:
// a CRC that does not match, a method not read) come as ImportFileFailed
// naming it; so do the archive's, should it no longer open. Safe on several
// threads at once, for the entries of one archive too.
Result<RunFile> ReadRunFile(const RunFilePlace& place, std::stop_token stop = {});

}  // namespace strivo
