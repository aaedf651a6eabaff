#include "io/AtomicFile.h"
#include "model/ProblemWords.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "../support/TempFolder.h"

namespace strivo {
namespace {

using std::filesystem::perms;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

TEST(WriteFileAtomically, ReplacesContentKeepsModeAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const auto path = folder / "runs.csv";
    WriteFile(path, "old content that is longer\r\n");
    ::chmod(path.c_str(), 0640);

    ASSERT_TRUE(WriteFileAtomically(path, "new\r\n", perms::owner_read | perms::owner_write));
    EXPECT_EQ(ReadFile(path), "new\r\n");
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(WriteFileAtomically, ReplacesWhatALinkNamesKeepsTheLinkAndLeavesDevicesAlone) {
    TempFolder folder;
    const auto real = folder / "real.ini", link = folder / "link.ini";
    WriteFile(real, "old");
    std::filesystem::create_symlink("real.ini", link);
    ASSERT_TRUE(WriteFileAtomically(link, "new", perms::owner_read));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "new");
    ::mkfifo((folder / "fifo").c_str(), 0600);
    for (const auto& path : {folder / "fifo", std::filesystem::path("/dev/null")}) {
        const Outcome result = WriteFileAtomically(path, "x", perms::owner_read);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.problem().code, ProblemCode::FileNotRegular);
        EXPECT_EQ(result.problem().Value(0), path.string());
    }
    // A new file gets what the umask leaves of the mode asked for.
    const mode_t before = ::umask(077);
    ASSERT_TRUE(WriteFileAtomically(folder / "new.csv", "x", perms::all));
    ::umask(before);
    struct stat info {};
    ::stat((folder / "new.csv").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// Interrupted, or past the file size limit, a save leaves no temporary file.
TEST(WriteFileAtomicallyDeathTest, SignalsAndTheSizeLimitLeaveNoTemporaryFile) {
    TempFolder folder;
    const auto path = folder / "runs.csv";
    const std::string big(64 << 20, 'x');
    const auto save = [&](bool limited) {
        RemoveTemporaryFilesOnSignals();
        const rlimit small{1 << 20, 1 << 20};
        if (limited) {
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        const Outcome result = WriteFileAtomically(path, big, perms::owner_read);
        std::fprintf(stderr, "%s", result ? "" : DescribeIn(nullptr, result.problem()).c_str());
        std::_Exit(result ? 0 : 1);
    };
    EXPECT_EXIT(save(true), ::testing::ExitedWithCode(1), "size limit: File too large");
    const pid_t child = ::fork();
    if (child == 0) {
        save(false);
    }
    ::usleep(20000);
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 0);
}

TEST(WriteFileAtomically, FailureLeavesTheOldFileAndSaysWhy) {
    TempFolder folder;
    const auto missingFolder = folder / "gone" / "runs.csv";
    const Outcome result = WriteFileAtomically(missingFolder, "x", perms::owner_read);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.problem().code, ProblemCode::FileCannotCreateTemporary);
    EXPECT_FALSE(result.problem().detail.empty());

    const auto directory = folder / "dir";
    std::filesystem::create_directory(directory);
    EXPECT_FALSE(WriteFileAtomically(directory, "x", perms::owner_read));
    EXPECT_TRUE(std::filesystem::is_directory(directory));
}

}  // namespace
}  // namespace strivo
