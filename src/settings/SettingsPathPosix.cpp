#include <pwd.h>
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

// A program installed under /usr (a package's) never writes beside itself,
// not even when root runs it.
bool Installed(const std::filesystem::path& executableFolder) {
    const std::string folder = executableFolder.lexically_normal().string();
    return folder == "/usr" || folder.starts_with("/usr/");
}

// The user's home: $HOME, else the password database's (only asked for an
// installed program, which has nowhere else to go).
const char* Home(bool installed) {
    if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        return home;
    }
    const passwd* user = installed ? ::getpwuid(::getuid()) : nullptr;
    return user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] != '\0' ? user->pw_dir
                                                                                 : nullptr;
}

}  // namespace

std::filesystem::path SettingsPathFor(const std::filesystem::path& executableFolder) {
    const bool installed = Installed(executableFolder);
    if (!installed && ::access(executableFolder.c_str(), W_OK) == 0) {
        return executableFolder / "config.ini";
    }
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = Home(installed)) {
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
