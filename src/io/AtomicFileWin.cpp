// The Windows implementation of io/AtomicFile.h. Files are opened so that
// others may read, write and rename them meanwhile, as POSIX files may be.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "io/AtomicFile.h"

namespace strivo {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The problem of `path`, in the system's words for `error`; a full disk is
// a problem of its own.
Problem Fail(ProblemCode code, const std::filesystem::path& path, DWORD error) {
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
        code = ProblemCode::FileDiskFull;
    } else if (error == ERROR_TOO_MANY_OPEN_FILES) {
        code = ProblemCode::FileNoDescriptor;
    }
    return Problem(code, {PathText(path)}, std::system_category().message(static_cast<int>(error)));
}

// What a handle that is no regular file names.
Problem NotRegular(const std::filesystem::path& path, HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    const char* kind = GetFileType(file) != FILE_TYPE_DISK ? kKindDevice
                       : GetFileInformationByHandle(file, &info) &&
                               (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                           ? kKindFolder
                           : kKindOther;
    return Problem(ProblemCode::FileNotRegular, {PathText(path), kind});
}

class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() {
        if (valid()) {
            CloseHandle(m_handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    HANDLE release() { return std::exchange(m_handle, INVALID_HANDLE_VALUE); }

private:
    HANDLE m_handle;
};

bool WriteAll(HANDLE file, std::string_view content) {
    while (!content.empty()) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 30));
        if (!WriteFile(file, content.data(), piece, &written, nullptr) || written == 0) {
            return false;
        }
        content.remove_prefix(written);
    }
    return true;
}

// False only while another holds the lock. The lock is on a byte far past
// the end, so others can still read the file.
bool TryLockExclusive(HANDLE file) {
    OVERLAPPED pastEnd{};
    pastEnd.Offset = 0xFFFFFFFE;
    pastEnd.OffsetHigh = 0x7FFFFFFF;
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                      &pastEnd) ||
           GetLastError() != ERROR_LOCK_VIOLATION;
}

// Read-only is the one permission bit a Windows file has.
DWORD AttributesFor(std::filesystem::perms mode) {
    return (mode & std::filesystem::perms::owner_write) == std::filesystem::perms::none
               ? FILE_ATTRIBUTE_READONLY
               : FILE_ATTRIBUTE_NORMAL;
}

// A file on a disk, not a folder, a device (NUL, CON) or a pipe.
bool IsRegularFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// What a path names once its links (symbolic links, junctions) are
// followed; a link that leads nowhere cannot be followed.
std::optional<std::filesystem::path> FollowLinks(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return path;
    }
    Handle file(CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        return std::nullopt;
    }
    std::wstring target(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(
            file.get(), target.data(), static_cast<DWORD>(target.size()), FILE_NAME_NORMALIZED);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < target.size()) {
            target.resize(length);
            return std::filesystem::path(target);
        }
        target.resize(length);
    }
}

// The temporary files being written, for the console handler to remove; a
// few slots, as only a few saves run at once.
std::array<std::atomic<const wchar_t*>, 8> g_temporaries{};

// Called on a thread of its own when the console closes or Ctrl+C comes.
BOOL WINAPI RemoveTemporaries(DWORD /*event*/) {
    for (auto& slot : g_temporaries) {
        if (const wchar_t* path = slot.load()) {
            DeleteFileW(path);  // gone once the writer's handle closes with the process
        }
    }
    return FALSE;  // the default handler ends the process
}

// A temporary file beside `target`: written and flushed to disk, then put in
// the target's place by the caller. Removed unless put in place, also when
// the console ends the process meanwhile.
class Temporary {
public:
    explicit Temporary(const std::filesystem::path& target) : m_target(target) {}
    ~Temporary() {
        if (m_slot != nullptr) {
            m_slot->store(nullptr);
        }
        if (m_created && !m_placed) {
            SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(m_path.c_str());
        }
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    void Placed() { m_placed = true; }

    // Read-only is set after the bytes are in; the file is made writable first.
    Outcome Write(std::string_view content, DWORD attributes) {
        static std::atomic<unsigned> counter{0};
        const std::filesystem::path folder =
            m_target.has_parent_path() ? m_target.parent_path() : std::filesystem::path(".");
        for (int attempt = 0;; ++attempt) {
            m_path = folder / (L"." + m_target.filename().wstring() + L"." +
                               std::to_wstring(GetCurrentProcessId()) + L"." +
                               std::to_wstring(counter++) + L".tmp");
            // Shared for deletion, so that the console handler can remove it.
            Handle file(CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file.valid()) {
                const DWORD error = GetLastError();
                if (error == ERROR_FILE_EXISTS && attempt < 100) {
                    continue;
                }
                return Fail(ProblemCode::FileCannotCreateTemporary, m_target, error);
            }
            m_created = true;
            for (auto& slot : g_temporaries) {
                const wchar_t* empty = nullptr;
                if (slot.compare_exchange_strong(empty, m_path.c_str())) {
                    m_slot = &slot;
                    break;
                }
            }
            if (!WriteAll(file.get(), content)) {
                return Fail(ProblemCode::FileCannotWrite, m_target, GetLastError());
            }
            if (!FlushFileBuffers(file.get())) {
                return Fail(ProblemCode::FileCannotFlush, m_target, GetLastError());
            }
            CloseHandle(file.release());
            if (attributes != FILE_ATTRIBUTE_NORMAL) {
                SetFileAttributesW(m_path.c_str(), attributes);
            }
            return {};
        }
    }

private:
    std::filesystem::path m_target;
    std::filesystem::path m_path;
    bool m_created = false;
    bool m_placed = false;
    std::atomic<const wchar_t*>* m_slot = nullptr;
};

}  // namespace

// Windows names no descriptor by a path.
std::optional<int> DescriptorNamed(const std::filesystem::path& /*path*/) {
    return std::nullopt;
}

Outcome WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                            std::filesystem::perms newFileMode) {
    // A link is followed: the file it names is replaced, and the link stays.
    const std::optional<std::filesystem::path> target = FollowLinks(path);
    if (!target) {
        return Problem(ProblemCode::FileCannotFollow, {PathText(path)});
    }
    DWORD attributes = AttributesFor(newFileMode);
    // Opened, not only looked up: a device such as NUL has no attributes to tell.
    Handle existing(CreateFileW(target->c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (existing.valid()) {
        if (!IsRegularFile(existing.get())) {
            return NotRegular(*target, existing.get());
        }
        if ((GetFileAttributesW(target->c_str()) & FILE_ATTRIBUTE_READONLY) != 0) {
            return Problem(ProblemCode::FileReadOnly, {PathText(*target)});
        }
        attributes = FILE_ATTRIBUTE_NORMAL;
    }
    CloseHandle(existing.release());
    Temporary temporary(*target);
    if (Outcome written = temporary.Write(content, attributes); !written) {
        return written;
    }
    // The rename reaches the disk before it returns.
    if (!MoveFileExW(temporary.path().c_str(), target->c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Fail(ProblemCode::FileCannotReplace, *target, GetLastError());
    }
    temporary.Placed();
    return {};
}

Outcome WriteFileInFolder(const std::filesystem::path& path, std::string_view content,
                          std::filesystem::perms newFileMode) {
    // The entry itself, not what a link or junction leads to.
    Handle existing(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (existing.valid()) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(existing.get(), &info) &&
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return Problem(ProblemCode::FileNotRegular, {PathText(path), kKindSymlink});
        }
        if (!IsRegularFile(existing.get())) {
            return NotRegular(path, existing.get());
        }
    }
    CloseHandle(existing.release());
    // The new file is made with CREATE_NEW, and the move replaces the name
    // itself: a link put there meanwhile is replaced, never followed.
    Temporary temporary(path);
    if (Outcome written = temporary.Write(content, AttributesFor(newFileMode)); !written) {
        return written;
    }
    if (!MoveFileExW(temporary.path().c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Fail(ProblemCode::FileCannotReplace, path, GetLastError());
    }
    temporary.Placed();
    return {};
}

Outcome CreateNewFile(const std::filesystem::path& path, std::string_view content,
                      std::filesystem::perms mode) {
    // A link counts as existing, even one that leads nowhere.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ||
        (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)) {
        return Problem(ProblemCode::FileExists, {PathText(path)});
    }
    Temporary temporary(path);
    if (Outcome written = temporary.Write(content, AttributesFor(mode)); !written) {
        return written;
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists,
    // so a file created meanwhile is kept.
    if (!MoveFileExW(temporary.path().c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        return Fail(error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                        ? ProblemCode::FileExists
                        : ProblemCode::FileCannotCreate,
                    path, error);
    }
    temporary.Placed();
    return {};
}

void RemoveTemporaryFilesOnSignals() {
    SetConsoleCtrlHandler(RemoveTemporaries, TRUE);
}

// m_fd is a C run-time descriptor that owns the file's handle.
AppendOnlyFile::~AppendOnlyFile() {
    Close();
}

void AppendOnlyFile::Close() {
    if (m_fd >= 0) {
        _close(m_fd);
        m_fd = -1;
    }
}

Outcome AppendOnlyFile::Open(const std::filesystem::path& path, std::filesystem::perms mode) {
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end.
    Handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | GENERIC_READ, kShareAll, nullptr,
                            OPEN_ALWAYS, AttributesFor(mode), nullptr));
    if (!file.valid()) {
        return Fail(ProblemCode::FileCannotOpen, path, GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!IsRegularFile(file.get()) || !GetFileInformationByHandle(file.get(), &info)) {
        return NotRegular(path, file.get());
    }
    if (!TryLockExclusive(file.get())) {
        return Problem(ProblemCode::FileInUse, {PathText(path)});
    }
    const std::uint64_t size =
        (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    char last = '\n';
    if (size > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(size - 1);
        at.OffsetHigh = static_cast<DWORD>((size - 1) >> 32);
        DWORD got = 0;
        if (!ReadFile(file.get(), &last, 1, &got, &at) || got != 1) {
            return Fail(ProblemCode::FileCannotRead, path, GetLastError());
        }
    }
    if (last != '\n' && (!WriteAll(file.get(), "\n") || !FlushFileBuffers(file.get()))) {
        return Fail(ProblemCode::FileCannotWrite, path, GetLastError());
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_APPEND | _O_BINARY);
    if (fd < 0) {
        return Problem(ProblemCode::FileNoDescriptor, {PathText(path)});
    }
    file.release();
    Close();
    m_fd = fd;
    m_path = path;
    return {};
}

FileLock::~FileLock() {
    Unlock();
}

void FileLock::Unlock() {
    if (m_fd >= 0) {
        _close(m_fd);
        m_fd = -1;
    }
}

Outcome FileLock::Lock(const std::filesystem::path& path, std::filesystem::perms mode,
                       bool create) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                            create ? OPEN_ALWAYS : OPEN_EXISTING, AttributesFor(mode), nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? Problem(ProblemCode::FileMissing, {PathText(path)})
                                             : Fail(ProblemCode::FileCannotOpen, path, error);
    }
    if (!IsRegularFile(file.get())) {
        return NotRegular(path, file.get());
    }
    if (!TryLockExclusive(file.get())) {
        return Problem(ProblemCode::FileInUse, {PathText(path)});
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_BINARY);
    if (fd < 0) {
        return Problem(ProblemCode::FileNoDescriptor, {PathText(path)});
    }
    file.release();
    Unlock();
    m_fd = fd;
    return {};
}

Outcome AppendOnlyFile::Append(std::string_view line) {
    if (m_fd < 0) {
        return Problem(ProblemCode::FileNotOpen, {PathText(m_path)});
    }
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    if (!WriteAll(file, line)) {
        return Fail(ProblemCode::FileCannotWrite, m_path, GetLastError());
    }
    if (!FlushFileBuffers(file)) {
        return Fail(ProblemCode::FileCannotFlush, m_path, GetLastError());
    }
    return {};
}

Result<std::string> ReadWholeFile(const std::filesystem::path& path) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? Problem(ProblemCode::FileMissing, {PathText(path)})
                   : Fail(ProblemCode::FileCannotRead, path, error);
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
            return Fail(ProblemCode::FileCannotRead, path, GetLastError());
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, got);
    }
    return bytes;
}

}  // namespace strivo
