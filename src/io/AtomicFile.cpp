#include "io/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace strivo {
namespace {

std::string Reason(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
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

}  // namespace

namespace {

std::filesystem::path FolderOf(const std::filesystem::path& path) {
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

void SyncFolder(const std::filesystem::path& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
}

// Writes `content` to a new temporary file beside `path`, flushed to disk.
// On success `*temporary` names it; on failure nothing is left behind.
FileResult WriteTemporary(const std::filesystem::path& path, std::string_view content, mode_t mode,
                          std::string* temporary) {
    *temporary = (FolderOf(path) / ("." + path.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkstemp(temporary->data()));
    if (fd.get() < 0) {
        return {false, Reason("cannot create a file in the folder", errno)};
    }
    const auto fail = [&](const char* what) {
        const int error = errno;
        ::unlink(temporary->c_str());
        return FileResult{false, Reason(what, error)};
    };
    if (::fchmod(fd.get(), mode) != 0) {
        return fail("cannot set permissions");
    }
    if (!WriteAll(fd.get(), content)) {
        return fail("cannot write");
    }
    if (::fsync(fd.get()) != 0) {
        return fail("cannot flush to disk");
    }
    if (::close(fd.release()) != 0) {
        return fail("cannot close");
    }
    return {true, {}};
}

}  // namespace

FileResult WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                               std::filesystem::perms newFileMode) {
    mode_t mode = static_cast<mode_t>(newFileMode);
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0) {
        if (!S_ISREG(existing.st_mode)) {
            return {false, "not a regular file: " + path.string()};
        }
        mode = existing.st_mode & 07777;
    }
    std::string temporary;
    if (FileResult written = WriteTemporary(path, content, mode, &temporary); !written) {
        return written;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return {false, Reason("cannot replace the file", error)};
    }
    SyncFolder(FolderOf(path));
    return {true, {}};
}

FileResult CreateNewFile(const std::filesystem::path& path, std::string_view content,
                         std::filesystem::perms mode) {
    struct stat existing {};
    if (::lstat(path.c_str(), &existing) == 0) {
        return {false, "already exists: " + path.string()};
    }
    std::string temporary;
    if (FileResult written = WriteTemporary(path, content, static_cast<mode_t>(mode), &temporary);
        !written) {
        return written;
    }
    // link() fails when the target exists, so a file created meanwhile is kept.
    const int linked = ::link(temporary.c_str(), path.c_str());
    const int error = errno;
    ::unlink(temporary.c_str());
    if (linked != 0) {
        return {false, Reason("cannot create the file", error)};
    }
    SyncFolder(FolderOf(path));
    return {true, {}};
}

AppendOnlyFile::~AppendOnlyFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

FileResult AppendOnlyFile::Open(const std::filesystem::path& path, std::filesystem::perms mode) {
    FileDescriptor fd(
        ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, static_cast<mode_t>(mode)));
    if (fd.get() < 0) {
        return {false, Reason("cannot open", errno)};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {false, "not a regular file: " + path.string()};
    }
    char last = '\n';
    if (info.st_size > 0 && ::pread(fd.get(), &last, 1, info.st_size - 1) != 1) {
        return {false, Reason("cannot read", errno)};
    }
    if (last != '\n' && (!WriteAll(fd.get(), "\n") || ::fdatasync(fd.get()) != 0)) {
        return {false, Reason("cannot write", errno)};
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd.release();
    SyncFolder(FolderOf(path));  // a file just created keeps its name after a power cut
    return {true, {}};
}

FileResult AppendOnlyFile::Append(std::string_view line) {
    if (m_fd < 0) {
        return {false, "not open"};
    }
    if (!WriteAll(m_fd, line)) {
        return {false, Reason("cannot write", errno)};
    }
    if (::fdatasync(m_fd) != 0) {
        return {false, Reason("cannot flush to disk", errno)};
    }
    return {true, {}};
}

FileContent ReadWholeFile(const std::filesystem::path& path) {
    FileContent result;
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        result.exists = errno != ENOENT && errno != ENOTDIR;
        return result;
    }
    result.exists = true;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.bytes.clear();
            return result;
        }
        if (got == 0) {
            break;
        }
        result.bytes.append(buffer, static_cast<std::size_t>(got));
    }
    result.ok = true;
    return result;
}

}  // namespace strivo
