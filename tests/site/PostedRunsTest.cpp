#include "site/PostedRuns.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "../support/TempFolder.h"

namespace strivo {
namespace {

// A record whose last line a crash cut short.
std::filesystem::path DamagedRecord(const test::TempFolder& folder) {
    const auto file = folder / "posted-runs.txt";
    test::WriteFile(
        file,
        "# comment\n"
        "bbs.kelvora.example%3A80 %C0%EE%20u 77 2026-12-01T08:00:00Z\r\n"  // Windows line end
        "bbs.kelvora.example%3A80 %C0%EE%20u 78 2026-12-01T08:00:00Z\n"
        "bbs.kelvora.example%3A80 %C0%EE%20u 79\n"                 // no time
        "other.example%3A80 %C0%EE%20u 80 2026-12-01T08:00:00Z\n"  // another site
        "bbs.kelvora.example%3A80 %C0%EE%20u 81 2026-12-01T0");    // cut short
    return file;
}

TEST(PostedRuns, DamagedLinesAreSkippedAndTheNextRecordStartsOnALineOfItsOwn) {
    test::TempFolder folder;
    const auto file = DamagedRecord(folder);
    Settings settings;
    settings.siteUser = "\xC0\xEE u";
    PostedRuns record(file);
    ASSERT_TRUE(record.Open());
    EXPECT_EQ(record.warnings(),
              (std::vector<std::string>{"line 4: not a record of a posted run, skipped",
                                        "line 6: not a record of a posted run, skipped"}));
    EXPECT_EQ(record.PostedOn(settings, "77"), "2026-12-01");
    EXPECT_TRUE(record.PostedOn(settings, "78"));
    for (const char* runId : {"79", "80", "81"}) {
        EXPECT_FALSE(record.PostedOn(settings, runId)) << runId;
    }
    ASSERT_TRUE(record.Add(settings, "82&x"));
    record.Close();
    PostedRuns reread(file);
    ASSERT_TRUE(reread.Load());
    EXPECT_TRUE(reread.PostedOn(settings, "82&x"));
    EXPECT_EQ(reread.warnings().size(), 2u);
}

// One sync at a time, in any process; reading is never kept out.
TEST(PostedRuns, OneOpenAtATimeWhileAnyMayLoad) {
    test::TempFolder folder;
    const auto file = DamagedRecord(folder);
    PostedRuns record(file), other(file);
    ASSERT_TRUE(record.Open());
    const FileResult kept = other.Open();
    EXPECT_EQ(kept.kind, FileError::InUse);
    EXPECT_EQ(kept.error, "cannot write " + file.string() + ": in use by another Strivo");
    EXPECT_TRUE(other.Load());
    record.Close();
    ASSERT_TRUE(other.Open());
}

TEST(PostedRuns, ANewRecordIsTheOwnersOnly) {
    test::TempFolder folder;
    PostedRuns fresh(folder / "new.txt");
    ASSERT_TRUE(fresh.Open());
#ifndef _WIN32  // a Windows file takes its folder's access list, not mode bits
    struct stat info {};
    ::stat((folder / "new.txt").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif
}

}  // namespace
}  // namespace strivo
