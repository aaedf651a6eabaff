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
    EXPECT_EQ(settings.serviceUser, "");
    EXPECT_EQ(settings.servicePassword, "");
    EXPECT_EQ(settings.siteUser, "");
    EXPECT_EQ(settings.sitePassword, "");

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

TEST(Settings, LongValueReadsAsItsFirst99Bytes) {
    TempFolder folder;
    const auto path = folder / "config.ini";
    WriteFile(path, "[nike+]\r\nuser=" + std::string(120, 'u') + "\r\n");
    EXPECT_EQ(LoadSettings(path).serviceUser, std::string(99, 'u'));
}

TEST(Settings, RemovedSectionComesBackWithUserOnly) {
    TempFolder folder;
    const auto path = folder / "config.ini";
    WriteFile(path, "[nike+]\r\nuser=\r\npwd=\r\n");
    LoadSettings(path);
    ASSERT_TRUE(SaveSettings(path, "a", "b"));
    EXPECT_EQ(ReadFile(path), "[nike+]\r\nuser=a\r\npwd=\r\n[kelvora]\r\nuser=b\r\n");
}

TEST(Settings, OptionalKeysPointAtOtherServers) {
    TempFolder folder;
    const auto path = folder / "config.ini";
    WriteFile(path,
              "[nike+]\nhost=127.0.0.1\nhttps_port=8443\nhttp_port=99999\ncafile=/tmp/ca.pem\n"
              "[kelvora]\nhost=\nhttp_port=8080\n");
    const Settings settings = LoadSettings(path);
    EXPECT_EQ(settings.serviceHost, "127.0.0.1");
    EXPECT_EQ(settings.serviceHttpsPort, 8443);
    EXPECT_EQ(settings.serviceHttpPort, 80) << "an impossible port falls back to the default";
    EXPECT_EQ(settings.serviceCaFile, "/tmp/ca.pem");
    EXPECT_EQ(settings.siteHost, "bbs.kelvora.example") << "an empty host falls back";
    EXPECT_EQ(settings.siteHttpPort, 8080);
}

TEST(Settings, ExistingUnreadablePathIsNeverReplaced) {
    TempFolder folder;
    const auto path = folder / "config.ini";
    std::filesystem::create_directory(path);  // exists, cannot be read as a file, even by root
    const Settings settings = LoadSettings(path);
    EXPECT_EQ(settings.serviceUser, "");
    EXPECT_FALSE(SaveSettings(path, "a", "b"));
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(Settings, ReadingNeverCreatesTheFile) {
    TempFolder folder;
    const Settings settings = ReadSettings(folder / "config.ini");
    EXPECT_EQ(settings.serviceHost, "nikeplus.nike.com");
    EXPECT_FALSE(std::filesystem::exists(folder / "config.ini"));
}

TEST(Settings, LongFolderPathWorks) {
    TempFolder folder;
    std::filesystem::path deep = folder.path();
    for (int i = 0; i < 12; ++i) {
        deep /= std::string(40, static_cast<char>('a' + i));
    }
    std::filesystem::create_directories(deep);
    const auto path = deep / "config.ini";
    ASSERT_GT(path.string().size(), 260u);
    LoadSettings(path);
    ASSERT_TRUE(SaveSettings(path, "u", "v"));
    EXPECT_EQ(LoadSettings(path).siteUser, "v");
}

// Permission checks do not apply to root, so the checks that rely on them run
// in a child process that drops to an unprivileged user first.
void RunUnprivileged(const std::filesystem::path& folder, const std::function<bool()>& check) {
    if (::geteuid() == 0) {
        if (::chown(folder.c_str(), 65534, 65534) != 0 || ::setgid(65534) != 0 ||
            ::setuid(65534) != 0) {
            std::_Exit(2);
        }
    }
    std::_Exit(check() ? 0 : 1);
}

TEST(SettingsDeathTest, ReadOnlyFolderLoadsAndSavesQuietlyLosingNothing) {
    TempFolder top;
    const auto folder = top / "app";
    std::filesystem::create_directory(folder);
    ::chmod(top.path().c_str(), 0755);
    const auto path = folder / "config.ini";
    EXPECT_EXIT(RunUnprivileged(folder,
                                [&] {
                                    const std::string before = "[nike+]\r\nuser=kept\r\n";
                                    WriteFile(path, before);
                                    ::chmod(folder.c_str(), 0555);
                                    const Settings settings = LoadSettings(path);
                                    const bool saved = bool(SaveSettings(path, "lost", "lost"));
                                    return settings.serviceUser == "kept" && !saved &&
                                           ReadFile(path) == before;
                                }),
                ::testing::ExitedWithCode(0), "");

    const auto missing = top / "empty";
    std::filesystem::create_directory(missing);
    EXPECT_EXIT(RunUnprivileged(missing,
                                [&] {
                                    ::chmod(missing.c_str(), 0555);
                                    const Settings settings = LoadSettings(missing / "config.ini");
                                    return settings.serviceUser.empty() &&
                                           !SaveSettings(missing / "config.ini", "a", "b") &&
                                           !std::filesystem::exists(missing / "config.ini");
                                }),
                ::testing::ExitedWithCode(0), "");
}

TEST(SettingsDeathTest, UnreadableFileIsNotReplaced) {
    TempFolder top;
    const auto folder = top / "app";
    std::filesystem::create_directory(folder);
    ::chmod(top.path().c_str(), 0755);
    const auto path = folder / "config.ini";
    EXPECT_EXIT(RunUnprivileged(folder,
                                [&] {
                                    WriteFile(path, "[nike+]\r\nuser=mine\r\n");
                                    ::chmod(path.c_str(), 0200);
                                    LoadSettings(path);
                                    const bool saved = bool(SaveSettings(path, "x", "y"));
                                    ::chmod(path.c_str(), 0600);
                                    return !saved && ReadFile(path) == "[nike+]\r\nuser=mine\r\n";
                                }),
                ::testing::ExitedWithCode(0), "");
}

TEST(SettingsPathDeathTest, FallsBackToXdgFolderWhenBesideTheExecutableIsReadOnly) {
    TempFolder top;
    const auto folder = top / "bin";
    std::filesystem::create_directory(folder);
    ::chmod(top.path().c_str(), 0777);
    EXPECT_EQ(SettingsPathFor(folder), folder / "config.ini");
    EXPECT_EXIT(RunUnprivileged(folder,
                                [&] {
                                    ::chmod(folder.c_str(), 0555);
                                    ::setenv("XDG_CONFIG_HOME", (top / "xdg").c_str(), 1);
                                    const auto path = SettingsPathFor(folder);
                                    LoadSettings(path);
                                    return path == top / "xdg" / "strivo" / "config.ini" &&
                                           std::filesystem::is_regular_file(path);
                                }),
                ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace strivo
