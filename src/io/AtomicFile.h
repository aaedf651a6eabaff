#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "io/PathText.h"
#include "model/Result.h"

namespace strivo {

// What a path named when it led to an open descriptor: FileNotRegular's {1}.
inline constexpr const char* kKindDescriptor = "descriptor";

// What a path names when it leads, through any links, to an open descriptor
// (/dev/stdout, /dev/fd/N, /proc/self/fd/N): the descriptor's number in this
// process, or -1 for another process's; nullopt for a path to a file. The file
// such a link shows is the one the descriptor was opened on, and whoever
// opened it chose how it is written (appended to, say): it is never replaced.
std::optional<int> DescriptorNamed(const std::filesystem::path& path);

// Replaces `path` with `content` so that a crash, a full disk or a write error
// leaves either the old file or the new one, never a mix: the bytes go to a
// temporary file in the same folder, which is flushed to disk and renamed over
// the target only when complete. A symbolic link is followed and kept; a
// target that is not a regular file (a device, a pipe, a folder, a descriptor)
// is refused.
// An existing file keeps its permission bits; a new file gets `newFileMode`
// less the umask.
Outcome WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                            std::filesystem::perms newFileMode);

// Puts `content` at `path`, a name Strivo chose in a folder the runner named,
// whole or not at all, and never through a link: the bytes go to a new file
// beside it, which then takes the name. A regular file of that name is
// replaced (its other hard links keep the old bytes); a symbolic link, a
// junction, a folder or anything else there is refused (FileNotRegular) and
// left as it is, since in a shared folder another user may have put it
// there. The file gets `newFileMode` less the umask.
Outcome WriteFileInFolder(const std::filesystem::path& path, std::string_view content,
                          std::filesystem::perms newFileMode);

// Creates `path` with `content` only if nothing exists there yet; the file
// appears complete or not at all. Fails, touching nothing, when the path exists
// in any form (even as a file that cannot be read).
Outcome CreateNewFile(const std::filesystem::path& path, std::string_view content,
                      std::filesystem::perms mode);

// A file that only grows, one line at a time. Each Append reaches the disk
// before it returns, so a crash, a kill or a power cut keeps every line
// appended before it; at worst the line being written is cut short.
class AppendOnlyFile {
public:
    AppendOnlyFile() = default;
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // Opens `path` for appending, creating it with `mode` when missing. A last
    // line left without its line end (a write cut short) is ended first, so the
    // next line starts on a line of its own. One AppendOnlyFile holds a file at
    // a time, in any process: Open fails while another does, until it closes.
    Outcome Open(const std::filesystem::path& path, std::filesystem::perms mode);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    // Appends `line` (with its line end) in one write, then flushes it to disk.
    Outcome Append(std::string_view line);

private:
    int m_fd = -1;
    std::filesystem::path m_path;
};

// From now on SIGINT, SIGTERM and SIGHUP remove the temporary file of a save
// in progress before the process ends, and a file too large for the file
// size limit fails its write instead of ending the process.
void RemoveTemporaryFilesOnSignals();

// An exclusive lock on a whole file, held by one FileLock at a time in any
// process (flock on POSIX, LockFileEx on a byte past the end on Windows, so
// others may still read the file). It guards work, never the file's bytes.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock on `path`, at once or not at all: fails with FileInUse
    // while another holds it. Creates the file with `mode` when missing and
    // `create` is set; without it a missing file fails with FileMissing. What is
    // there must be a regular file; a FIFO or a device is refused without
    // waiting for a writer.
    Outcome Lock(const std::filesystem::path& path, std::filesystem::perms mode, bool create);
    void Unlock();
    bool IsLocked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Reads a whole file; FileMissing tells a missing file apart from one that
// exists but cannot be read.
Result<std::string> ReadWholeFile(const std::filesystem::path& path);

}  // namespace strivo
