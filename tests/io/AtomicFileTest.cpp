#include "io/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(WriteFileAtomically, FailureLeavesTheOldFileAndSaysWhy) {
    TempFolder folder;
    const auto missingFolder = folder / "gone" / "runs.csv";
    const FileResult result = WriteFileAtomically(missingFolder, "x", perms::owner_read);
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error.empty());

    const auto directory = folder / "dir";
    std::filesystem::create_directory(directory);
    EXPECT_FALSE(WriteFileAtomically(directory, "x", perms::owner_read));
    EXPECT_TRUE(std::filesystem::is_directory(directory));
}

}  // namespace
}  // namespace strivo
