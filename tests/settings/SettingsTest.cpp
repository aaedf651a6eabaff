#include "model/ProblemWords.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "../support/TempFolder.h"

namespace strivo {
namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

TEST(Settings, FirstRunCreatesTheDefaultFileForItsOwnerOnly) {
    TempFolder folder;
    const auto path = folder / "config.ini";
    const Settings settings = LoadSettings(path);

    const std::string expected = "[nike+]\r\nuser=\r\npwd=\r\n\r\n[kelvora]\r\nuser=\r\npwd=\r\n";
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(expected.size(), 48u);
    EXPECT_EQ(
        settings.serviceUser + settings.servicePassword + settings.siteUser + settings.sitePassword,
        "");

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(Settings, HandFilledFileIsReadAndOnlyUserNamesAreSaved) {
    TempFolder folder;
    const auto path = folder / "config.ini";
    const std::string before =
        "; my runs\r\n[NIKE+]\r\nUser=old@x\r\nPWD=\"p w&d\"\r\n[other]\r\nk=v\r\n\r\n"
        "[kelvora]\r\nuser=\xC5\xDC\r\npwd=site pwd\r\n";
    WriteFile(path, before);

    const Settings settings = LoadSettings(path);
    EXPECT_EQ(ReadFile(path), before) << "loading never rewrites an existing file";
    EXPECT_EQ(settings.serviceUser, "old@x");
    EXPECT_EQ(settings.servicePassword, "p w&d");
    EXPECT_EQ(settings.siteUser, "\xC5\xDC");
    EXPECT_EQ(settings.sitePassword, "site pwd");

    ASSERT_TRUE(SaveSettings(path, "new@x", "\xB2\xBD"));
    EXPECT_EQ(ReadFile(path),
              "; my runs\r\n[NIKE+]\r\nUser=new@x\r\nPWD=\"p w&d\"\r\n[other]\r\nk=v\r\n\r\n"
              "[kelvora]\r\nuser=\xB2\xBD\r\npwd=site pwd\r\n");
}

TEST(Settings, LongValuesAreCutAndOptionalKeysPointAtOtherServers) {
    TempFolder folder;
    const auto path = folder / "config.ini";
    WriteFile(path, "[nike+]\nuser=" + std::string(120, 'u') +
                        "\nhost=127.0.0.1\nhttps_port=8443\nhttp_port=99999\ncafile=" +
                        path.string() + "\n[kelvora]\nhost=\nhttp_port=8080\n");
    Settings settings = LoadSettings(path);
    EXPECT_EQ(settings.serviceUser, std::string(99, 'u'));
    EXPECT_EQ(settings.serviceHost, "127.0.0.1");
    EXPECT_EQ(settings.serviceHttpsPort, 8443);
    EXPECT_EQ(settings.serviceCaFile, path.string());
    EXPECT_EQ(settings.siteHost, "bbs.kelvora.example") << "an empty host falls back";
    EXPECT_EQ(settings.sitePort, 8080);
    // [nike+] http_port is read, and no longer used; Windows takes no cafile at all.
    EXPECT_EQ(settings.problems.size(), CaFileUsable() ? 0u : 1u);
    EXPECT_EQ(ServiceUrl(settings, "/x?y=1"), "https://127.0.0.1:8443/x?y=1");
    EXPECT_EQ(SiteUrl(settings, ""), "http://bbs.kelvora.example:8080");
    EXPECT_EQ(SiteUrl(Settings{}, "/index.php"), "http://bbs.kelvora.example/index.php");

    // Values that cannot be used are named, never replaced by a default unsaid.
    WriteFile(path,
              "[nike+]\nhttps_port=99999\ncafile=/nonexistent/ca.pem\n[kelvora]\nhttp_port=x\n");
    settings = ReadSettings(path);
    ASSERT_EQ(settings.problems.size(), 3u);
    EXPECT_EQ(Describe(settings.problems[0]), "[nike+] https_port=99999: not a port (1 to 65535)");
    EXPECT_EQ(settings.problems[1].code, CaFileUsable() ? ProblemCode::SettingsNoSuchFile
                                                        : ProblemCode::SettingsCaFileNotUsed);
    EXPECT_EQ(settings.problems[2].values, (std::vector<std::string>{"[kelvora] http_port", "x"}));
    // A value is named in UTF-8, whichever code page the file is in.
    WriteFile(path, "[kelvora]\nhttp_port=\xB0\xCB\n");
    EXPECT_EQ(ReadSettings(path).problems.at(0).Value(1), "\xE5\x85\xAB");

    // A section removed by hand comes back with its user name only.
    WriteFile(path, "[nike+]\r\nuser=\r\npwd=\r\n");
    ASSERT_TRUE(SaveSettings(path, "a", "b"));
    EXPECT_EQ(ReadFile(path), "[nike+]\r\nuser=a\r\npwd=\r\n[kelvora]\r\nuser=b\r\n");
}

TEST(Settings, AFileALinuxEditorWroteKeepsItsEncodingMarkAndLineEnds) {
    TempFolder folder;
    const auto path = folder / "config.ini";
    WriteFile(path, "\xEF\xBB\xBF[nike+]\nuser=李\npwd=密码\n[kelvora]\nuser=\n");
    const Settings settings = ReadSettings(path);
    EXPECT_EQ(settings.serviceUser, "\xC0\xEE");  // 李 in CP936
    EXPECT_EQ(settings.servicePassword, "\xC3\xDC\xC2\xEB");
    ASSERT_TRUE(SaveSettings(path, "\xD5\xC5", "x"));  // 张
    EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF[nike+]\nuser=张\npwd=密码\n[kelvora]\nuser=x\n");
    WriteFile(path, "[nike+]\r\nuser=\xC0\xEE\r\n");  // code page 936, as Strivo writes it
    EXPECT_EQ(ReadSettings(path).serviceUser, "\xC0\xEE");
}

TEST(Settings, ExistingUnreadablePathIsNeverReplacedAndReadingCreatesNothing) {
    TempFolder folder;
    const auto path = folder / "config.ini";
    EXPECT_EQ(ReadSettings(path).serviceHost, "nikeplus.nike.com");
    EXPECT_FALSE(std::filesystem::exists(path));
    std::filesystem::create_directory(path);  // exists, cannot be read as a file, even by root
    EXPECT_EQ(LoadSettings(path).serviceUser, "");
    EXPECT_FALSE(SaveSettings(path, "a", "b"));
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

// Permission checks do not apply to root, so the checks that rely on them run
// in a child process that drops to an unprivileged user first, in a folder
// "app" of its own.
void ExpectUnprivileged(const TempFolder& top,
                        const std::function<bool(const std::filesystem::path&)>& check) {
    const auto folder = top / "app";
    std::filesystem::create_directory(folder);
    ::chmod(top.path().c_str(), 0777);
    const auto run = [&] {
        if (::geteuid() == 0 && (::chown(folder.c_str(), 65534, 65534) != 0 ||
                                 ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            std::_Exit(2);
        }
        std::_Exit(check(folder) ? 0 : 1);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST(SettingsDeathTest, ReadOnlyFolderOrFileLosesNothing) {
    TempFolder top;
    ExpectUnprivileged(top, [](const std::filesystem::path& folder) {
        const auto path = folder / "config.ini";
        const std::string before = "[nike+]\r\nuser=kept\r\n";
        WriteFile(path, before);
        ::chmod(folder.c_str(), 0555);
        return LoadSettings(path).serviceUser == "kept" && !SaveSettings(path, "lost", "lost") &&
               ReadFile(path) == before;
    });
    TempFolder empty;
    ExpectUnprivileged(empty, [](const std::filesystem::path& folder) {
        ::chmod(folder.c_str(), 0555);
        return LoadSettings(folder / "config.ini").serviceUser.empty() &&
               !SaveSettings(folder / "config.ini", "a", "b") &&
               !std::filesystem::exists(folder / "config.ini");
    });
    TempFolder unreadable;
    ExpectUnprivileged(unreadable, [](const std::filesystem::path& folder) {
        const auto path = folder / "config.ini";
        WriteFile(path, "[nike+]\r\nuser=mine\r\n");
        ::chmod(path.c_str(), 0200);
        LoadSettings(path);
        const bool saved = bool(SaveSettings(path, "x", "y"));
        ::chmod(path.c_str(), 0600);
        return !saved && ReadFile(path) == "[nike+]\r\nuser=mine\r\n";
    });
}

TEST(SettingsDeathTest, FallsBackToXdgFolderWhenBesideTheExecutableIsReadOnly) {
    TempFolder top;
    EXPECT_EQ(SettingsPathFor(top.path()), top / "config.ini");
    // Installed, even root's copy (a folder it may write) never writes beside itself.
    EXPECT_NE(SettingsPathFor("/usr/bin").parent_path(), "/usr/bin");
    ExpectUnprivileged(top, [&](const std::filesystem::path& folder) {
        ::chmod(folder.c_str(), 0555);
        ::setenv("XDG_CONFIG_HOME", (top / "xdg").c_str(), 1);
        const auto path = SettingsPathFor(folder);
        LoadSettings(path);
        return path == top / "xdg" / "strivo" / "config.ini" &&
               std::filesystem::is_regular_file(path);
    });
}

}  // namespace
}  // namespace strivo
