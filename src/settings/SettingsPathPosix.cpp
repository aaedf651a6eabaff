#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "settings/Settings.h"

namespace strivo {
namespace {

std::filesystem::path ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path(error) : exe.parent_path();
}

}  // namespace

std::filesystem::path SettingsPathFor(const std::filesystem::path& executableFolder) {
    if (::access(executableFolder.c_str(), W_OK) == 0) {
        return executableFolder / "config.ini";
    }
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        base = std::filesystem::path(home) / ".config";
    } else {
        return executableFolder / "config.ini";
    }
    return base / "strivo" / "config.ini";
}

std::filesystem::path DefaultSettingsPath() {
    return SettingsPathFor(ExecutableFolder());
}

bool CaFileUsable() {
    return true;
}

}  // namespace strivo
