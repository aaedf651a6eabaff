#pragma once

#include <filesystem>
#include <stop_token>
#include <string>

#include "files/ByteSource.h"
#include "files/ImportedRun.h"
#include "files/RunFileRecogniser.h"
#include "files/RunFileWalk.h"
#include "model/Result.h"

namespace strivo {

// The first kRecogniseBytes of `source`, fewer where it ends first: what
// RecogniseRunFile looks at.
std::string ReadHead(ByteSource& source);

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
// count for nothing. Once `stop` is asked for, the reader meets the end of
// its bytes and ImportStopped comes.
Result<RunFile> ReadRunFile(const std::filesystem::path& path, RunSink& sink,
                            std::stop_token stop = {});
// The same, keeping the runs in the file.
Result<RunFile> ReadRunFile(const std::filesystem::path& path, std::stop_token stop = {});

// The same for bytes from any source; `name` gives the name to check and to
// name in problems.
Result<RunFile> ReadRunFile(ByteSource& source, const std::filesystem::path& name, RunSink& sink,
                            std::stop_token stop = {});
Result<RunFile> ReadRunFile(ByteSource& source, const std::filesystem::path& name,
                            std::stop_token stop = {});

// The same for a place the walk found: a file on disk, or an entry of a zip
// archive, named ARCHIVE/ENTRY. An entry's own problems (ZipEntryUnreadable:
// a CRC that does not match, a method not read) come as ImportFileFailed
// naming it; so do the archive's, should it no longer open. Safe on several
// threads at once, for the entries of one archive too.
Result<RunFile> ReadRunFile(const RunFilePlace& place, RunSink& sink, std::stop_token stop = {});
Result<RunFile> ReadRunFile(const RunFilePlace& place, std::stop_token stop = {});

}  // namespace strivo
