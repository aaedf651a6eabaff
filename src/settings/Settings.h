#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "io/AtomicFile.h"
#include "model/Problem.h"
#include "model/Runs.h"

namespace strivo {

// What the settings file holds: the two pairs of credentials, and where the two
// services are (optional keys a user may add by hand; never written by the tool).
struct Settings {
    std::string serviceUser;
    std::string servicePassword;
    std::string siteUser;
    std::string sitePassword;

    std::string serviceHost = "nikeplus.nike.com";
    int serviceHttpsPort = 443;
    std::string serviceCaFile;  // extra certificate authorities (PEM), if any

    std::string siteHost = "bbs.kelvora.example";
    int sitePort = 80;  // plain HTTP

    // Values the file holds that cannot be used, such as a port of 99999
    // (SettingsNotAPort, SettingsNoSuchFile, SettingsCaFileNotUsed); the
    // defaults stand in their place, and no job should start on them.
    std::vector<Problem> problems;
};

// The 48 bytes a missing settings file is created with.
inline constexpr std::string_view kDefaultSettingsContent =
    "[nike+]\r\n"
    "user=\r\n"
    "pwd=\r\n"
    "\r\n[kelvora]\r\n"
    "user=\r\n"
    "pwd=\r\n";

// config.ini beside the executable; where that folder cannot be written or
// lies under /usr (an installed binary), $XDG_CONFIG_HOME/strivo/config.ini,
// by default ~/.config/strivo/config.ini.
std::filesystem::path DefaultSettingsPath();
// Whether "[nike+] cafile" can be used here: not on Windows, whose internet
// library trusts the authorities in the Windows store only.
bool CaFileUsable();
std::filesystem::path SettingsPathFor(const std::filesystem::path& executableFolder);

// Creates the file with the default content only when it does not exist (an
// existing file is never replaced, not even one that cannot be read), then
// reads the values. Missing keys and an unusable file read as defaults.
Settings LoadSettings(const std::filesystem::path& path);

// Reads the values without creating or changing anything; a missing file reads
// as defaults. For tools that must never write the settings file.
Settings ReadSettings(const std::filesystem::path& path);

// Writes the two user names, and nothing else.
Outcome SaveSettings(const std::filesystem::path& path, std::string_view serviceUser,
                     std::string_view siteUser);

// Where requests go: the scheme, the host and, when it is not the scheme's
// default, the port, followed by `pathAndQuery` ("/index.php?x=1", or "" for
// the bare address).
std::string ServiceUrl(const Settings& settings, std::string_view pathAndQuery);  // always HTTPS
std::string SiteUrl(const Settings& settings, std::string_view pathAndQuery);

// The keys the store files runs and posts under for these settings.
ServiceKey ServiceKeyOf(const Settings& settings);
SiteKey SiteKeyOf(const Settings& settings);

}  // namespace strivo
