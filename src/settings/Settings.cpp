#include "settings/Settings.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "settings/IniFile.h"

namespace strivo {
namespace {

constexpr std::string_view kServiceSection = "nike+";
constexpr std::string_view kSiteSection = "kelvora";

// The credentials are read into buffers of 100 bytes; the optional keys may
// hold a path, so they get room for one.
constexpr std::size_t kValueBuffer = 100;
constexpr std::size_t kPathBuffer = 4096;

constexpr auto kOwnerOnly =
    std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

int ReadPort(const IniFile& ini, std::string_view section, std::string_view key, int fallback) {
    const std::string text = ini.Read(section, key, {}, kValueBuffer);
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return fallback;
    }
    const int port = std::stoi(text);
    return port >= 1 && port <= 65535 ? port : fallback;
}

std::string Url(bool secure, std::string_view host, int port, std::string_view pathAndQuery) {
    std::string url = secure ? "https://" : "http://";
    url += host;
    if (port != (secure ? 443 : 80)) {
        url += ":" + std::to_string(port);
    }
    url += pathAndQuery;
    return url;
}

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

Settings LoadSettings(const std::filesystem::path& path) {
    // The folder is missing on the first run of an installed binary.
    std::error_code error;
    if (path.has_parent_path() && !std::filesystem::exists(path.parent_path(), error)) {
        std::filesystem::create_directories(path.parent_path(), error);
        std::filesystem::permissions(path.parent_path(), std::filesystem::perms::owner_all, error);
    }
    // CreateNewFile refuses to touch a path that exists in any form.
    CreateNewFile(path, kDefaultSettingsContent, kOwnerOnly);
    return ReadSettings(path);
}

Settings ReadSettings(const std::filesystem::path& path) {
    FileContent file = ReadWholeFile(path);
    const IniFile ini(file.ok ? std::move(file.bytes) : std::string());
    Settings settings;
    settings.serviceUser = ini.Read(kServiceSection, "user", {}, kValueBuffer);
    settings.servicePassword = ini.Read(kServiceSection, "pwd", {}, kValueBuffer);
    settings.siteUser = ini.Read(kSiteSection, "user", {}, kValueBuffer);
    settings.sitePassword = ini.Read(kSiteSection, "pwd", {}, kValueBuffer);

    const auto readHost = [&](std::string_view section, const std::string& fallback) {
        std::string host = ini.Read(section, "host", {}, kPathBuffer);
        return host.empty() ? fallback : host;
    };
    settings.serviceHost = readHost(kServiceSection, settings.serviceHost);
    settings.serviceHttpsPort =
        ReadPort(ini, kServiceSection, "https_port", settings.serviceHttpsPort);
    settings.serviceHttpPort =
        ReadPort(ini, kServiceSection, "http_port", settings.serviceHttpPort);
    settings.serviceCaFile = ini.Read(kServiceSection, "cafile", {}, kPathBuffer);
    settings.siteHost = readHost(kSiteSection, settings.siteHost);
    settings.sitePort = ReadPort(ini, kSiteSection, "http_port", settings.sitePort);
    return settings;
}

FileResult SaveSettings(const std::filesystem::path& path, std::string_view serviceUser,
                        std::string_view siteUser) {
    FileContent file = ReadWholeFile(path);
    if (file.exists && !file.ok) {
        return {false, "cannot read " + path.string()};
    }
    // Both names in one replacement of the file, so that a crash between
    // them cannot leave one new and one old.
    IniFile ini(std::move(file.bytes));
    ini.Write(kServiceSection, "user", serviceUser);
    ini.Write(kSiteSection, "user", siteUser);
    return WriteFileAtomically(path, ini.content(), kOwnerOnly);
}

std::string ServiceUrl(const Settings& settings, bool secure, std::string_view pathAndQuery) {
    return Url(secure, settings.serviceHost,
               secure ? settings.serviceHttpsPort : settings.serviceHttpPort, pathAndQuery);
}

std::string SiteUrl(const Settings& settings, std::string_view pathAndQuery) {
    return Url(false, settings.siteHost, settings.sitePort, pathAndQuery);
}

}  // namespace strivo
