// windows.h comes before every other Windows header.
#include <windows.h>

#include <shlobj.h>

#include <string>

#include "settings/Settings.h"

namespace strivo {
namespace {

std::filesystem::path ExecutableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::filesystem::current_path();
        }
        if (length < path.size()) {
            path.resize(length);
            return std::filesystem::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

// Whether a file can be made in `folder`: the folder's access list decides,
// and only trying tells.
bool CanWriteIn(const std::filesystem::path& folder) {
    const std::filesystem::path probe =
        folder / (".strivo-probe-" + std::to_string(GetCurrentProcessId()));
    const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

}  // namespace

std::filesystem::path SettingsPathFor(const std::filesystem::path& executableFolder) {
    if (CanWriteIn(executableFolder)) {
        return executableFolder / "config.ini";
    }
    wchar_t appData[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData) != S_OK) {
        return executableFolder / "config.ini";
    }
    return std::filesystem::path(appData) / L"Strivo" / L"config.ini";
}

std::filesystem::path DefaultSettingsPath() {
    return SettingsPathFor(ExecutableFolder());
}

bool CaFileUsable() {
    return false;
}

}  // namespace strivo
