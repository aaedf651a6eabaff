// FileIdentityWin.cpp: the Windows implementation of io/FileIdentity.h.
#include <windows.h>

#include "io/FileIdentity.h"

namespace strivo {

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
    // Backup semantics opens folders too; no access is asked for, only the handle.
    const HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!known) {
        return std::nullopt;
    }
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::filesystem::path FinalPath(const std::filesystem::path& path) {
    // The C++ library does not follow junctions, nor every symbolic link;
    // the handle's own path is what the file system opened.
    const HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        std::wstring final(MAX_PATH, L'\0');
        DWORD length = 0;
        for (int attempt = 0; attempt < 2; ++attempt) {
            length = GetFinalPathNameByHandleW(handle, final.data(),
                                               static_cast<DWORD>(final.size()), VOLUME_NAME_DOS);
            if (length < final.size()) {
                break;
            }
            final.resize(length + 1);  // too small: the size it needs, with its zero
        }
        CloseHandle(handle);
        if (length > 0 && length < final.size()) {
            final.resize(length);
            // "\\?\C:\..." and "\\?\UNC\server\..." as they are usually written.
            if (final.starts_with(LR"(\\?\UNC\)")) {
                final = LR"(\\)" + final.substr(8);
            } else if (final.starts_with(LR"(\\?\)")) {
                final = final.substr(4);
            }
            return std::filesystem::path(final);
        }
    }
    std::error_code error;
    std::filesystem::path final = std::filesystem::weakly_canonical(path, error);
    if (error || final.empty()) {
        final = std::filesystem::absolute(path, error);
    }
    return final;
}

std::optional<FileOwner> OwnerOf(const std::filesystem::path& path) {
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    return FileOwner{};
}

std::error_code CreateOwnerOnly(const std::filesystem::path&) {
    return {};
}

}  // namespace strivo
