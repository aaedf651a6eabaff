// Every problem has words, in English and in Chinese, and comes back from
// the key the store keeps it by.
#include "model/ProblemWords.h"

#include <gtest/gtest.h>

#include <set>

namespace strivo {
namespace {

TEST(ProblemWords, EveryCodeHasANameWordsAndAChineseTranslation) {
    std::set<std::string_view> names;
    for (int i = static_cast<int>(ProblemCode::None) + 2;
         i < static_cast<int>(ProblemCode::LastCode); ++i) {
        const auto code = static_cast<ProblemCode>(i);
        const std::string_view name = CodeName(code);
        EXPECT_NE(name, "unknown") << "code " << i << " has no words";
        EXPECT_TRUE(names.insert(name).second) << name << " names two codes";
        const Problem problem(code, {"a", "b", "c"});
        const std::string english = DescribeIn(nullptr, problem);
        EXPECT_FALSE(english.empty()) << name;
        EXPECT_NE(DescribeIn(ChineseCatalog(), problem), english) << name << ": " << english;
    }
}

TEST(ProblemWords, CausesHostsDetailsAndKeysComeTogether) {
    const Problem status =
        Problem(ProblemCode::NetStatus, {"bbs.kelvora.example:80", "500"}, "Internal Error");
    const Problem stopped =
        Problem(ProblemCode::ServerErrorsInARow, {"3"}).Because(Problem(status));
    EXPECT_EQ(DescribeIn(nullptr, stopped),
              "bbs.kelvora.example:80: status 500 (Internal Error); the site answered 3 posts in a "
              "row with a server error, so the sync stopped");
    EXPECT_EQ(ShortCause(stopped), "（服务器错误 500）");
    EXPECT_EQ(DescribeIn(nullptr, Problem(ProblemCode::StoreDiskFull, {""}, "disk I/O")),
              "cannot write the in-memory store: the disk is full: disk I/O");
    // The key keeps codes, values, details and causes, whatever bytes the values hold.
    const Problem odd = Problem(ProblemCode::PostRedirected, {"run 1 | 2", "!", ""}, "a b")
                            .Because(Problem(stopped));
    const Problem back = ProblemFromKey(ProblemKey(odd));
    EXPECT_EQ(DescribeIn(nullptr, back), DescribeIn(nullptr, odd));
    EXPECT_EQ(back.Root().code, ProblemCode::NetStatus);
    // A pause the store could not keep says so, and what stopped a sync is named.
    const Problem notKept = Problem(ProblemCode::HostPauseNotKept, {"h:443", "2031-01-01 10:00"})
                                .Because(Problem(ProblemCode::StoreDiskFull, {"/s.db"}));
    EXPECT_EQ(DescribeIn(nullptr, notKept),
              "h:443 asked to be left alone until 2031-01-01 10:00, but the store could not keep "
              "this (cannot write /s.db: the disk is full): a later run may contact it sooner, so "
              "wait until then");
    EXPECT_EQ(ShortCause(notKept), "（服务器要求等到 2031-01-01 10:00，但无法记下）");
    const Problem hangUp(ProblemCode::SyncInterrupted, {kStopBySighup});
    EXPECT_EQ(DescribeIn(nullptr, hangUp), "interrupted by SIGHUP (its terminal closed)");
    EXPECT_EQ(DescribeIn(ChineseCatalog(), hangUp), "因SIGHUP（终端已关闭）而中断");
    // An older version's words are shown as they are.
    EXPECT_EQ(DescribeIn(nullptr, ProblemFromKey("the sync ended before the answer")),
              "the sync ended before the answer");
}

}  // namespace
}  // namespace strivo
