#include "io/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace strivo {
namespace {

// The problem of `path`, in the system's words for `error`; a full disk and
// the file size limit are problems of their own.
Problem Fail(ProblemCode code, const std::filesystem::path& path, int error) {
    if (error == ENOSPC || error == EDQUOT) {
        code = ProblemCode::FileDiskFull;
    } else if (error == EFBIG) {
        code = ProblemCode::FileTooLarge;
    } else if (error == EMFILE || error == ENFILE) {
        code = ProblemCode::FileNoDescriptor;
    }
    return Problem(code, {PathText(path)}, std::strerror(error));
}

Problem NotRegular(const std::filesystem::path& path, mode_t mode) {
    const char* kind = S_ISDIR(mode)                    ? kKindFolder
                       : S_ISFIFO(mode)                 ? kKindFifo
                       : S_ISCHR(mode) || S_ISBLK(mode) ? kKindDevice
                       : S_ISSOCK(mode)                 ? kKindSocket
                       : S_ISLNK(mode)                  ? kKindSymlink
                                                        : kKindOther;
    return Problem(ProblemCode::FileNotRegular, {PathText(path), kind});
}

// Closes a descriptor on every path out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// False only while another holds the lock. A file system without locks
// cannot keep others out; the file is still used.
bool TryLockExclusive(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

void SyncFolder(const std::filesystem::path& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
}

// The temporary files being written, for the signal handler to remove; a
// few slots, as only a few saves run at once.
std::array<std::atomic<const char*>, 8> g_temporaries{};

void RemoveTemporariesAndDie(int signal) {
    for (auto& slot : g_temporaries) {
        if (const char* path = slot.load()) {
            ::unlink(path);
        }
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// A temporary file beside `target`: written and flushed to disk, then put in
// the target's place by the caller. Removed unless put in place, also when
// the process is interrupted meanwhile.
class Temporary {
public:
    explicit Temporary(const std::filesystem::path& target)
        : m_target(target),
          m_path((FolderOf(target) / ("." + target.filename().string() + ".XXXXXX")).string()) {}
    ~Temporary() {
        if (m_slot != nullptr) {
            m_slot->store(nullptr);
        }
        if (m_created) {
            ::unlink(m_path.c_str());
        }
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    const std::string& path() const { return m_path; }

    Outcome Write(std::string_view content, mode_t mode) {
        FileDescriptor fd(::mkstemp(m_path.data()));
        if (fd.get() < 0) {
            return Fail(ProblemCode::FileCannotCreateTemporary, m_target, errno);
        }
        m_created = true;
        for (auto& slot : g_temporaries) {
            const char* empty = nullptr;
            if (slot.compare_exchange_strong(empty, m_path.c_str())) {
                m_slot = &slot;
                break;
            }
        }
        if (::fchmod(fd.get(), mode) != 0) {
            return Fail(ProblemCode::FileCannotSetPermissions, m_target, errno);
        }
        if (!WriteAll(fd.get(), content)) {
            return Fail(ProblemCode::FileCannotWrite, m_target, errno);
        }
        if (::fsync(fd.get()) != 0) {
            return Fail(ProblemCode::FileCannotFlush, m_target, errno);
        }
        if (::close(fd.release()) != 0) {
            return Fail(ProblemCode::FileCannotClose, m_target, errno);
        }
        return {};
    }

private:
    std::filesystem::path m_target;
    std::string m_path;
    bool m_created = false;
    std::atomic<const char*>* m_slot = nullptr;
};

// What a path names once its symbolic links are followed; a missing file
// stays where the last link points.
std::optional<std::filesystem::path> FollowLinks(std::filesystem::path path) {
    for (int links = 0; links < 40; ++links) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) {
            return path;
        }
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error) {
            return std::nullopt;
        }
        path = next.is_absolute() ? next : FolderOf(path) / next;
    }
    return std::nullopt;
}

// Where a link's own name lies once the folders above it are resolved: a
// folder link (/dev/fd) leads into /proc as surely as a file link does.
std::filesystem::path ResolvedFolder(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::weakly_canonical(FolderOf(path), error);
    return (error ? std::filesystem::absolute(FolderOf(path), error) : folder) / path.filename();
}

mode_t CurrentUmask() {
    const Result<std::string> status = ReadWholeFile("/proc/self/status");
    const std::size_t at = status ? status->find("Umask:") : std::string::npos;
    if (at == std::string::npos) {
        return 022;
    }
    return static_cast<mode_t>(std::strtoul(status->c_str() + at + 6, nullptr, 8));
}

}  // namespace

std::optional<int> DescriptorNamed(const std::filesystem::path& path) {
    std::filesystem::path hop = path;
    for (int links = 0; links < 40; ++links) {
        const std::filesystem::path at = ResolvedFolder(hop).lexically_normal();
        // /proc/PID/fd/N, /proc/self/fd/N, /proc/PID/task/TID/fd/N.
        auto part = at.begin();
        if (at.is_absolute() && ++part != at.end() && *part == "proc") {
            std::vector<std::string> rest(++part, at.end());
            if (rest.size() >= 3 && rest[rest.size() - 2] == "fd") {
                const std::string& owner = rest.front();
                const bool ours = owner == "self" || owner == "thread-self" ||
                                  owner == std::to_string(::getpid());
                char* end = nullptr;
                const long number = std::strtol(rest.back().c_str(), &end, 10);
                return ours && *end == '\0' && number >= 0 ? static_cast<int>(number) : -1;
            }
        }
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(hop, error))) {
            return std::nullopt;
        }
        const std::filesystem::path next = std::filesystem::read_symlink(hop, error);
        if (error) {
            return std::nullopt;
        }
        hop = next.is_absolute() ? next : FolderOf(hop) / next;
    }
    return std::nullopt;
}

Outcome WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                            std::filesystem::perms newFileMode) {
    // A link (a dotfile kept elsewhere, say) is followed: the file it names
    // is replaced, and the link stays.
    const std::optional<std::filesystem::path> target = FollowLinks(path);
    if (!target) {
        return Problem(ProblemCode::FileCannotFollow, {PathText(path)});
    }
    if (DescriptorNamed(path)) {
        return Problem(ProblemCode::FileNotRegular, {PathText(path), kKindDescriptor});
    }
    mode_t mode = static_cast<mode_t>(newFileMode) & ~CurrentUmask();
    struct stat existing {};
    if (::stat(target->c_str(), &existing) == 0) {
        // Devices, pipes and folders are left alone.
        if (!S_ISREG(existing.st_mode)) {
            return NotRegular(*target, existing.st_mode);
        }
        mode = existing.st_mode & 07777;
    }
    Temporary temporary(*target);
    if (Outcome written = temporary.Write(content, mode); !written) {
        return written;
    }
    if (::rename(temporary.path().c_str(), target->c_str()) != 0) {
        return Fail(ProblemCode::FileCannotReplace, *target, errno);
    }
    SyncFolder(FolderOf(*target));
    return {};
}

Outcome WriteFileInFolder(const std::filesystem::path& path, std::string_view content,
                          std::filesystem::perms newFileMode) {
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        return NotRegular(path, existing.st_mode);
    }
    // mkstemp creates its file new (O_EXCL), and rename() replaces the name
    // itself: a link put there meanwhile is replaced, never followed.
    Temporary temporary(path);
    if (Outcome written =
            temporary.Write(content, static_cast<mode_t>(newFileMode) & ~CurrentUmask());
        !written) {
        return written;
    }
    if (::rename(temporary.path().c_str(), path.c_str()) != 0) {
        return Fail(ProblemCode::FileCannotReplace, path, errno);
    }
    SyncFolder(FolderOf(path));
    return {};
}

Outcome CreateNewFile(const std::filesystem::path& path, std::string_view content,
                      std::filesystem::perms mode) {
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        return Problem(ProblemCode::FileExists, {PathText(path)});
    }
    Temporary temporary(path);
    if (Outcome written = temporary.Write(content, static_cast<mode_t>(mode)); !written) {
        return written;
    }
    // link() fails when the target exists, so a file created meanwhile is kept.
    if (::link(temporary.path().c_str(), path.c_str()) != 0) {
        return Fail(errno == EEXIST ? ProblemCode::FileExists : ProblemCode::FileCannotCreate, path,
                    errno);
    }
    SyncFolder(FolderOf(path));
    return {};
}

void RemoveTemporaryFilesOnSignals() {
    struct sigaction action {};
    action.sa_handler = RemoveTemporariesAndDie;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    // A write past the file size limit then fails, and is reported, instead
    // of ending the process with the temporary file left behind.
    ::signal(SIGXFSZ, SIG_IGN);
}

AppendOnlyFile::~AppendOnlyFile() {
    Close();
}

void AppendOnlyFile::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Outcome AppendOnlyFile::Open(const std::filesystem::path& path, std::filesystem::perms mode) {
    FileDescriptor fd(
        ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, static_cast<mode_t>(mode)));
    if (fd.get() < 0) {
        return Fail(ProblemCode::FileCannotOpen, path, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return NotRegular(path, info.st_mode);
    }
    if (!TryLockExclusive(fd.get())) {
        return Problem(ProblemCode::FileInUse, {PathText(path)});
    }
    char last = '\n';
    if (info.st_size > 0 && ::pread(fd.get(), &last, 1, info.st_size - 1) != 1) {
        return Fail(ProblemCode::FileCannotRead, path, errno);
    }
    if (last != '\n' && (!WriteAll(fd.get(), "\n") || ::fdatasync(fd.get()) != 0)) {
        return Fail(ProblemCode::FileCannotWrite, path, errno);
    }
    Close();
    m_fd = fd.release();
    m_path = path;
    SyncFolder(FolderOf(path));  // a file just created keeps its name after a power cut
    return {};
}

Outcome AppendOnlyFile::Append(std::string_view line) {
    if (m_fd < 0) {
        return Problem(ProblemCode::FileNotOpen, {PathText(m_path)});
    }
    if (!WriteAll(m_fd, line)) {
        return Fail(ProblemCode::FileCannotWrite, m_path, errno);
    }
    if (::fdatasync(m_fd) != 0) {
        return Fail(ProblemCode::FileCannotFlush, m_path, errno);
    }
    return {};
}

FileLock::~FileLock() {
    Unlock();
}

void FileLock::Unlock() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Outcome FileLock::Lock(const std::filesystem::path& path, std::filesystem::perms mode,
                       bool create) {
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer.
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0),
                             static_cast<mode_t>(mode)));
    if (fd.get() < 0) {
        return errno == ENOENT ? Problem(ProblemCode::FileMissing, {PathText(path)})
                               : Fail(ProblemCode::FileCannotOpen, path, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return NotRegular(path, info.st_mode);
    }
    if (!TryLockExclusive(fd.get())) {
        return Problem(ProblemCode::FileInUse, {PathText(path)});
    }
    Unlock();
    m_fd = fd.release();
    return {};
}

Result<std::string> ReadWholeFile(const std::filesystem::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return errno == ENOENT || errno == ENOTDIR
                   ? Problem(ProblemCode::FileMissing, {PathText(path)})
                   : Fail(ProblemCode::FileCannotRead, path, errno);
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail(ProblemCode::FileCannotRead, path, errno);
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

}  // namespace strivo
