// The window's menus through the controller's fake surface: the menu bar's
// items, their keys and when they can be chosen; the list's menu, which
// offers each action for the selected runs it changes.
#include <gtest/gtest.h>

#include "../support/SentRuns.h"
#include "FakeWindow.h"
#include "store/StorePaths.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using test::Cp936;
using test::Window;

class WindowMenusTest : public ::testing::Test, protected Window {
protected:
    // The menu bar as the runner sees it, one line per menu: each item's
    // text, its key, "(off)" when greyed, "-" for a separator.
    std::string MenuBarShown() {
        std::string shown;
        for (const Menu& menu : m_controller->MenuBar()) {
            shown += Cp936ToUtf8(menu.title) + ":";
            for (const MenuItem& item : menu.items) {
                shown += " " + (item.text.empty() ? "-" : Cp936ToUtf8(item.text));
                shown += item.ctrlKey != 0 ? std::string("/Ctrl+") + item.ctrlKey : "";
                shown += item.text.empty() || item.enabled ? "" : "(off)";
                EXPECT_EQ(item.enabled, m_controller->MenuEnabled(item.id)) << item.id;
            }
            shown += "\n";
        }
        return shown;
    }
};

TEST_F(WindowMenusTest, TheMenuBarHoldsEveryActionGreyedWhileAJobRunsOrTheWindowCloses) {
    Open();
    FillFields();
    EXPECT_EQ(MenuBarShown(),
              "文件(&F): 导入跑步文件…/Ctrl+O - 导出CSV…/Ctrl+S 导出TCX… 导出FIT… - 退出\n"
              "跑步记录(&R): 跑步日志…/Ctrl+L - 显示本机保存的跑步记录 跑量统计… 同步记录…\n"
              "帮助(&H): 关于 Strivo…\n");
    // 导出CSV… is the export button, empty table and all; this front end has no run log.
    ChooseFromMenuBar("导出CSV…");
    EXPECT_EQ(m_surface.messages, std::vector<std::string>{Cp936("没有任何需要导出的数据！")});
    ChooseFromMenuBar("跑步日志…");
    ChooseFromMenuBar("关于 Strivo…");
    EXPECT_EQ(m_surface.abouts, 1);
    m_controller->OnMenu(IDC_SYNC);                            // no item of the menu bar
    m_controller->OnMenu(WindowController::kFirstMenuId + 1);  // a separator
    EXPECT_EQ(m_jobs.started, 0);

    m_jobs.hold = true;
    m_controller->OnServiceLogin();
    ASSERT_TRUE(m_surface.PumpUntil([&] { return m_jobs.running.load(); }));
    EXPECT_EQ(MenuBarShown(),
              "文件(&F): 导入跑步文件…/Ctrl+O(off) - 导出CSV…/Ctrl+S 导出TCX…(off) 导出FIT…(off) "
              "- 退出\n"
              "跑步记录(&R): 跑步日志…/Ctrl+L - 显示本机保存的跑步记录(off) 跑量统计…(off) "
              "同步记录…(off)\n"
              "帮助(&H): 关于 Strivo…\n");
    ChooseFromMenuBar("显示本机保存的跑步记录");  // greyed: as a stale menu might
    EXPECT_EQ(m_surface.rowCount, 0u);

    // 退出 is the close box: the window goes once the job has ended.
    ChooseFromMenuBar("退出");
    EXPECT_EQ(MenuBarShown(),
              "文件(&F): 导入跑步文件…/Ctrl+O(off) - 导出CSV…/Ctrl+S(off) 导出TCX…(off) "
              "导出FIT…(off) - 退出\n"
              "跑步记录(&R): 跑步日志…/Ctrl+L(off) - 显示本机保存的跑步记录(off) 跑量统计…(off) "
              "同步记录…(off)\n"
              "帮助(&H): 关于 Strivo…\n");
    EXPECT_EQ(m_surface.closes, 0);
    m_jobs.Release();
    EXPECT_TRUE(m_surface.PumpUntil([&] { return m_surface.closes == 1; }));
}

// The state column follows the store for the site user in the field. The
// list's menu offers each action for the selected runs it changes, acts on
// those alone, and offers nothing while a job runs or the window closes.
TEST_F(WindowMenusTest, TheListsMenuActsOnTheSelectedRunsItChanges) {
    {
        auto store = RunStore::Open(StorePathFor(m_folder / "config.ini"));
        ASSERT_TRUE(store);
        const DownloadedRun runs[] = {{"111", "2012-07-01T07:00:00+08:00", "5", "1800000", "", ""},
                                      {"222", "2012-07-02T07:00:00+08:00", "5", "1800000", "", ""},
                                      {"333", "2012-07-03T07:00:00+08:00", "5", "1800000", "", ""},
                                      {"444", "2012-07-04T07:00:00+08:00", "5", "1800000", "", ""}};
        ASSERT_TRUE((*store)->StoreRuns(ServiceKeyOf(Settings{}), "runner", Runs(runs),
                                        StoreTime::clock::now()));
    }
    Open();
    FillFields();
    const RunList rows = {TableRun("111"), TableRun("222"), TableRun("333"), TableRun("444"),
                          TableRun("")};
    m_controller->table()->Replace(rows);
    const auto column = [&] { return Cp936ToUtf8(StateColumn(rows)); };
    // Which items are offered for the rows selected; then `choice` is taken.
    const auto menu = [&](std::vector<std::size_t> selected,
                          std::optional<std::size_t> choice = std::nullopt) {
        m_surface.choice = choice;
        m_controller->OnListMenu(selected);
        std::string offered;
        for (const MenuItem& item : m_surface.menu) {
            offered += item.text.empty() ? "| " : item.enabled ? "on " : "off ";
        }
        return offered;
    };
    EXPECT_EQ(menu({}), "off off off off | on ") << "opens with no row, its items greyed";
    std::string texts;
    for (const MenuItem& item : m_surface.menu) {
        texts += Cp936ToUtf8(item.text) + "/";
    }
    EXPECT_EQ(texts, "已在网站上看到，标记为已上传/重新上传/不上传此记录/上传此记录//跑步日志…/");
    EXPECT_EQ(menu({4}), "off off off off | on ") << "a row without a RunID has no actions";
    EXPECT_EQ(column(), "未上传|未上传|未上传|未上传|未上传|");
    EXPECT_EQ(menu({0}), "on off on off | on ") << "a run never posted";

    // A sync leaves one run of each state; while it runs nothing is offered.
    m_jobs.posts = {{"111", PostResult::Confirmed},
                    {"222", std::nullopt},
                    {"333", PostResult::Failed},
                    {"444", PostResult::Unknown}};
    m_jobs.hold = true;
    m_controller->OnSync();
    ASSERT_TRUE(m_surface.PumpUntil([&] { return m_jobs.running.load(); }));
    EXPECT_EQ(menu({0, 1}, 0), "off off off off | on ");
    m_jobs.finish = true;
    m_jobs.Release();
    ASSERT_TRUE(WaitForStatus("同步到Strivo成功！本次上传5条，之前已上传0条"));
    EXPECT_EQ(column(), "已上传|结果未知|上传失败|结果未知|未上传|");
    m_surface.Pump(50ms);  // the job's thread ends

    EXPECT_EQ(menu({0}), "off on off off | on ") << "a run the site confirmed";
    EXPECT_EQ(menu({0, 1, 3}, 0), "on on on off | on ");
    EXPECT_EQ(column(), "已上传|已上传|上传失败|已上传|未上传|");
    EXPECT_EQ(Status(), Cp936("已将2条标记为已上传")) << "the confirmed run is left as it was";
    // A run the site does not have is released at once; one it confirmed
    // only once the runner says yes to the question naming it.
    menu({2}, 1);
    EXPECT_EQ(column(), "已上传|已上传|未上传|已上传|未上传|");
    EXPECT_EQ(Status(), Cp936("1条将在下次同步时重新上传"));
    EXPECT_TRUE(m_surface.questions.empty());
    EXPECT_EQ(menu({0, 2}, 1), "on on on off | on ");
    EXPECT_EQ(m_surface.questions,
              std::vector<std::string>{
                  Cp936("跑步日志中已有跑步记录 111，重新上传后日志中将有两条。仍要重新上传吗？")});
    EXPECT_EQ(Status(), Cp936("已取消重新上传"));
    m_surface.answer = true;
    menu({0, 2}, 1);
    EXPECT_EQ(column(), "未上传|已上传|未上传|已上传|未上传|");

    // Kept off and released again; the confirmed run in the selection stays.
    EXPECT_EQ(menu({0, 1}, 2), "on on on off | on ");
    EXPECT_EQ(column(), "不上传|已上传|未上传|已上传|未上传|");
    EXPECT_EQ(Status(), Cp936("已将1条设为不上传"));
    EXPECT_EQ(menu({0}, 5), "on off off on | on ") << "the run log's item is greyed";
    EXPECT_EQ(menu({0, 1}, 3), "on on off on | on ");
    EXPECT_EQ(column(), "未上传|已上传|未上传|已上传|未上传|");
    EXPECT_EQ(Status(), Cp936("1条将在下次同步时上传"));

    // Another site user has posted nothing; the column follows the field.
    m_surface.texts[IDC_SITE_USER] = "someone else";
    m_controller->OnSiteUserEdited();
    EXPECT_EQ(column(), "未上传|未上传|未上传|未上传|未上传|");
    m_surface.texts[IDC_SITE_USER] = "poster";
    m_controller->OnSiteUserEdited();

    m_controller->Close();
    EXPECT_EQ(menu({1}, 1), "off off off off | off ") << "a closing window starts nothing";
    EXPECT_EQ(column(), "未上传|已上传|未上传|已上传|未上传|");
}

}  // namespace
}  // namespace strivo
