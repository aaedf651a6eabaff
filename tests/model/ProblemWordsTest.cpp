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

// In Chinese a library's English stays only in a bracket naming it, after
// the Chinese sentence; English reads as it always did.
TEST(ProblemWords, ALibrarysOwnWordsStayInABracketNamingIt) {
    const struct {
        Problem problem;
        const char* english;
        const char* chinese;
    } cases[] = {
        {Problem(ProblemCode::XmlMalformed, {"1", "0"}, "no element found"),
         "the XML is not well-formed at line 1, column 0: no element found",
         "第 1 行第 0 列处的 XML 格式不正确（expat：no element found）"},
        {Problem(ProblemCode::StoreCannotWrite, {"/s/strivo.db"}, "disk I/O error"),
         "cannot write /s/strivo.db: disk I/O error",
         "无法写入 /s/strivo.db（SQLite：disk I/O error）"},
        {Problem(ProblemCode::ScheduleCommandFailed, {"systemctl --user start", "1"}, "No bus"),
         "systemctl --user start failed (exit status 1): No bus",
         "systemctl --user start 执行失败（退出状态 1）（systemctl：No bus）"},
        {Problem(ProblemCode::NoticeNoBusAddress),
         "there is no desktop session bus to show a notice on: DBUS_SESSION_BUS_ADDRESS unset, no "
         "$XDG_RUNTIME_DIR/bus",
         "没有可用的桌面会话总线，无法显示通知：未设置 DBUS_SESSION_BUS_ADDRESS，也没有 "
         "$XDG_RUNTIME_DIR/bus"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DescribeIn(nullptr, c.problem), c.english);
        EXPECT_EQ(DescribeIn(ChineseCatalog(), c.problem), c.chinese);
    }
}

// A reason from the store, whatever was planted in it, is masked and cut.
TEST(ProblemWords, AStoredReasonIsMaskedAndCut) {
    const std::string planted = ProblemKey(
        Problem(ProblemCode::PostRedirected, {"1\x1b[31m", "302", "http://x/\x1b]0;T\x07\x1b[2J"}));
    EXPECT_EQ(DescribeReason(planted),
              "the site redirected the post of run 1?[31m (302 to http://x/?]0;T??[2J); the run is "
              "held until you check the run log");
    const std::string words = DescribeReason(std::string(5 << 20, 'x'));
    EXPECT_EQ(words, std::string(kReasonCharacters, 'x') + "…");
}

}  // namespace
}  // namespace strivo
