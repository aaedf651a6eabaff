#include "settings/Settings.h"

#include <algorithm>
#include <system_error>

#include "settings/IniFile.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

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

// A settings file as a text editor left it: a UTF-8 file (one with a
// byte-order mark, or valid UTF-8 holding non-ASCII text) or, as the tool
// writes it, code page 936.
struct SettingsText {
    explicit SettingsText(std::string content) {
        if (content.starts_with(kByteOrderMark)) {
            bom = true;
            content.erase(0, kByteOrderMark.size());
        }
        utf8 = bom || (IsUtf8(content) && std::any_of(content.begin(), content.end(),
                                                      [](char c) { return c & 0x80; }));
        ini = IniFile(std::move(content));
    }

    // A user name or password in CP936, cut to what a read into `buffer`
    // bytes keeps.
    std::string Read(std::string_view section, std::string_view key, std::size_t buffer) const {
        if (!utf8) {
            return ini.Read(section, key, {}, buffer);
        }
        const std::string value = Utf8ToCp936(ini.Read(section, key, {}, kPathBuffer));
        return std::string(Cp936Prefix(value, buffer - 1));
    }
    void Write(std::string_view section, std::string_view key, std::string_view cp936) {
        ini.Write(section, key, utf8 ? Cp936ToUtf8(cp936) : std::string(cp936));
    }
    std::string Content() const {
        return (bom ? std::string(kByteOrderMark) : std::string()) + ini.content();
    }

    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    bool bom = false;
    bool utf8 = false;
    IniFile ini;
};

// A path as the file holds it, as the words of a problem take it: UTF-8.
std::string PathValue(std::string_view bytes) {
    return IsUtf8(bytes) ? std::string(bytes) : Cp936ToUtf8(bytes);
}

// The port a key names; a value that is no port is a problem, not a default.
int ReadPort(const SettingsText& text, std::string_view section, std::string_view key, int fallback,
             std::vector<Problem>& problems) {
    const std::string value = text.Read(section, key, kValueBuffer);
    if (value.empty()) {
        return fallback;
    }
    if (value.size() <= 5 && value.find_first_not_of("0123456789") == std::string::npos) {
        if (const int port = std::stoi(value); port >= 1 && port <= 65535) {
            return port;
        }
    }
    problems.push_back(
        Problem(ProblemCode::SettingsNotAPort,
                {"[" + std::string(section) + "] " + std::string(key), Cp936ToUtf8(value)}));
    return fallback;
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

}  // namespace

Settings LoadSettings(const std::filesystem::path& path) {
    // The folder is missing on the first run of an installed binary.
    std::error_code error;
    if (path.has_parent_path() && !std::filesystem::exists(path.parent_path(), error)) {
        std::filesystem::create_directories(path.parent_path(), error);
        std::filesystem::permissions(path.parent_path(), std::filesystem::perms::owner_all, error);
    }
    // CreateNewFile refuses to touch a path that exists in any form; a file
    // that cannot be made reads as defaults, and its problems show there.
    (void)CreateNewFile(path, kDefaultSettingsContent, kOwnerOnly);
    return ReadSettings(path);
}

Settings ReadSettings(const std::filesystem::path& path) {
    Result<std::string> file = ReadWholeFile(path);
    const SettingsText text(file ? std::move(*file) : std::string());
    Settings settings;
    settings.serviceUser = text.Read(kServiceSection, "user", kValueBuffer);
    settings.servicePassword = text.Read(kServiceSection, "pwd", kValueBuffer);
    settings.siteUser = text.Read(kSiteSection, "user", kValueBuffer);
    settings.sitePassword = text.Read(kSiteSection, "pwd", kValueBuffer);

    // Hosts and paths are taken as bytes: a file name is the file system's.
    const auto readHost = [&](std::string_view section, const std::string& fallback) {
        std::string host = text.ini.Read(section, "host", {}, kPathBuffer);
        return host.empty() ? fallback : host;
    };
    // [nike+] http_port, from older files, is no longer used: every request to
    // the run service goes over HTTPS.
    settings.serviceHost = readHost(kServiceSection, settings.serviceHost);
    settings.serviceHttpsPort =
        ReadPort(text, kServiceSection, "https_port", settings.serviceHttpsPort, settings.problems);
    settings.serviceCaFile = text.ini.Read(kServiceSection, "cafile", {}, kPathBuffer);
    std::error_code error;
    if (!settings.serviceCaFile.empty() && !CaFileUsable()) {
        settings.problems.push_back(Problem(ProblemCode::SettingsCaFileNotUsed,
                                            {"[nike+] cafile", PathValue(settings.serviceCaFile)}));
    } else if (!settings.serviceCaFile.empty() &&
               !std::filesystem::is_regular_file(settings.serviceCaFile, error)) {
        settings.problems.push_back(Problem(ProblemCode::SettingsNoSuchFile,
                                            {"[nike+] cafile", PathValue(settings.serviceCaFile)}));
    }
    settings.siteHost = readHost(kSiteSection, settings.siteHost);
    settings.sitePort =
        ReadPort(text, kSiteSection, "http_port", settings.sitePort, settings.problems);
    return settings;
}

Outcome SaveSettings(const std::filesystem::path& path, std::string_view serviceUser,
                     std::string_view siteUser) {
    Result<std::string> file = ReadWholeFile(path);
    if (!file && file.problem().code != ProblemCode::FileMissing) {
        return file.problem();
    }
    // Both names in one replacement of the file, so that a crash between
    // them cannot leave one new and one old. The file keeps its encoding,
    // byte-order mark and line ends.
    SettingsText text(file ? std::move(*file) : std::string());
    text.Write(kServiceSection, "user", serviceUser);
    text.Write(kSiteSection, "user", siteUser);
    return WriteFileAtomically(path, text.Content(), kOwnerOnly);
}

std::string ServiceUrl(const Settings& settings, std::string_view pathAndQuery) {
    return Url(true, settings.serviceHost, settings.serviceHttpsPort, pathAndQuery);
}

std::string SiteUrl(const Settings& settings, std::string_view pathAndQuery) {
    return Url(false, settings.siteHost, settings.sitePort, pathAndQuery);
}

ServiceKey ServiceKeyOf(const Settings& settings) {
    return {LowerAscii(settings.serviceHost), settings.serviceHttpsPort};
}

SiteKey SiteKeyOf(const Settings& settings) {
    return {LowerAscii(settings.siteHost), settings.sitePort, settings.siteUser};
}

}  // namespace strivo
