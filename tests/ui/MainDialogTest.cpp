// The main window driven through its controls, under a private X server when
// there is no display (scripts/with-display.sh); without any, the tests skip.
#include <gtest/gtest.h>
#include <wx/init.h>
#include <wx/listctrl.h>
#include <wx/scrolwin.h>
#include <wx/textctrl.h>

#include "WindowTestFixture.h"
#include "ui/RunColumns.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using test::MainDialogTest;

TEST_F(MainDialogTest, DemoDownloadSyncAndExport) {
    test::StandInServices demo;
    Open({}, demo, true);
    EXPECT_EQ(Status(), Utf8("等待"));
    EXPECT_FALSE(Control<wxButton>(IDC_SYNC)->IsEnabled());
    EXPECT_EQ(m_dialog->GetTitle(), Utf8("Strivo（Nike+） V2.0422 — 演示"));

    Press(IDC_SERVICE_LOGIN);
    ASSERT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
    auto* list = Control<wxListCtrl>(IDC_RUN_TABLE);
    EXPECT_TRUE(Pump(5s, [&] { return list->GetItemCount() == 24; }));
    EXPECT_EQ(list->GetItemText(0, 0), "1");
    EXPECT_TRUE(Control<wxButton>(IDC_SYNC)->IsEnabled());
    EXPECT_FALSE(Control<wxButton>(IDC_SERVICE_LOGIN)->IsEnabled());
    EXPECT_TRUE(Control<wxStaticText>(IDC_SUMMARY)->GetLabel().Contains(Utf8("您已完成")));
    // Whole RunIDs, however long.
    int widest = 0;
    for (long row = 0; row < list->GetItemCount(); ++row) {
        widest = std::max(widest, list->GetTextExtent(list->GetItemText(row, kColumnRunId)).x);
    }
    EXPECT_GT(list->GetColumnWidth(kColumnRunId), widest);
    // All eight columns in sight, the state column last.
    wxListItem title;
    title.SetMask(wxLIST_MASK_TEXT);
    list->GetColumn(kColumnPostState, title);
    EXPECT_EQ(title.GetText(), Utf8("同步状态"));
    int total = 0;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        total += list->GetColumnWidth(static_cast<int>(c));
    }
    EXPECT_LE(total, list->GetClientSize().x);
    list->SetFocus();
    Pump(300ms, [] { return false; });
    EXPECT_EQ(list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED), 0);
    // The pointer resting on the first row shows when that run started.
    wxWindow* rowsWindow = list->GetChildren().back();
    for (wxWindow* child : list->GetChildren()) {
        rowsWindow = child->GetPosition().y > 0 ? child : rowsWindow;
    }
    wxMouseEvent motion(wxEVT_MOTION);
    motion.SetPosition(wxPoint(20, 5));
    rowsWindow->GetEventHandler()->ProcessEvent(motion);
    EXPECT_TRUE(rowsWindow->GetToolTipText().StartsWith(Utf8("开始时间：")))
        << rowsWindow->GetToolTipText();
    SaveScreenshot("window-signed-in");
    SaveMenuScreenshot("window-menu-linux");

    // The list's menu, as Shift+F10 asks for it, on no row while nothing runs.
    const auto openMenu = [&](std::vector<long> selected, std::optional<std::size_t> choice) {
        for (long row = 0; row < list->GetItemCount(); ++row) {
            const bool on = std::find(selected.begin(), selected.end(), row) != selected.end();
            list->SetItemState(row, on ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
        }
        m_dialog->menuChoice = choice;
        wxContextMenuEvent event(wxEVT_CONTEXT_MENU, list->GetId(), wxDefaultPosition);
        event.SetEventObject(list);
        list->GetEventHandler()->ProcessEvent(event);
        Pump(50ms, [] { return false; });
    };
    openMenu({}, std::nullopt);
    EXPECT_EQ(m_dialog->menu,
              (std::vector<wxString>{Utf8("已在网站上看到，标记为已上传 (off)"),
                                     Utf8("重新上传 (off)"), Utf8("不上传此记录 (off)"),
                                     Utf8("上传此记录 (off)"), "-", Utf8("跑步日志…")}));
    EXPECT_EQ(list->GetItemText(0, kColumnPostState), Utf8("未上传"));

    // The twelfth post takes its time: the rows posted before it read 已上传
    // meanwhile, it reads 正在上传, and the rows after it 未上传 still.
    demo.site.AddFault({.path = "/runlogger.php", .onRequest = 12, .delay = 2s});
    Press(IDC_SYNC);
    EXPECT_TRUE(Pump(20s, [&] {
        return list->GetItemText(11, kColumnPostState) == Utf8("正在上传");
    })) << Status();
    for (long row = 0; row < 11; ++row) {
        EXPECT_EQ(list->GetItemText(row, kColumnPostState), Utf8("已上传")) << row;
    }
    EXPECT_EQ(list->GetItemText(12, kColumnPostState), Utf8("未上传"));
    ASSERT_TRUE(WaitForStatus("同步到Strivo成功！本次上传24条，之前已上传0条")) << Status();
    EXPECT_EQ(demo.site.entries().size(), 24u) << "every run is on the site";
    EXPECT_EQ(list->GetItemText(11, kColumnPostState), Utf8("已上传"));

    // A posted row is released once the runner agrees to post it again:
    // the state column and the status line follow.
    openMenu({1}, 1);
    EXPECT_EQ(m_dialog->menu.at(0), Utf8("已在网站上看到，标记为已上传 (off)"));
    ASSERT_EQ(m_dialog->questions.size(), 1u);
    EXPECT_TRUE(m_dialog->questions[0].Contains(list->GetItemText(1, kColumnRunId)));
    EXPECT_EQ(list->GetItemText(1, kColumnPostState), Utf8("已上传")) << "the runner said no";
    m_dialog->answer = true;
    openMenu({1}, 1);
    EXPECT_EQ(list->GetItemText(0, kColumnPostState), Utf8("已上传"));
    EXPECT_EQ(list->GetItemText(1, kColumnPostState), Utf8("未上传"));
    EXPECT_EQ(Status(), Utf8("1条将在下次同步时重新上传"));

    // A long path keeps the file's name in sight on one line.
    const auto folder = m_folder / std::string(60, 'a') / std::string(60, 'b');
    std::filesystem::create_directories(folder);
    const wxString path = wxString::FromUTF8((folder / "runs.csv").string());
    m_dialog->csvFile = ChosenFile{folder / "runs.csv", FromWx(path)};
    EXPECT_TRUE(ChooseFromMenuBar("导出CSV…"));  // Ctrl+S, the export button
    auto* status = Control<wxStaticText>(IDC_STATUS);
    EXPECT_TRUE(Status().StartsWith(Utf8("成功导出数据到 ") + path.substr(0, 4))) << Status();
    EXPECT_TRUE(Status().Contains(Utf8("…")) && Status().EndsWith("b/runs.csv")) << Status();
    EXPECT_LE(status->GetTextExtent(Status()).x, status->GetSize().x);
    EXPECT_EQ(status->GetToolTipText(), Utf8("成功导出数据到 ") + path);
    const std::string csv = test::ReadFile(folder / "runs.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 24);
    EXPECT_TRUE(m_dialog->messages.empty());

    // The stored runs in place of the downloaded ones: the same rows, the
    // same file; the sync posts the one run released above.
    list->DeleteAllItems();
    EXPECT_TRUE(ChooseFromMenuBar("显示本机保存的跑步记录"));
    EXPECT_TRUE(Pump(5s, [&] { return list->GetItemCount() == 24; }));
    EXPECT_TRUE(Control<wxStaticText>(IDC_SUMMARY)
                    ->GetLabel()
                    .StartsWith(Utf8("本机保存的跑步记录 24 条")));
    Press(IDC_EXPORT);
    EXPECT_EQ(test::ReadFile(folder / "runs.csv"), csv);
    Press(IDC_SYNC);
    ASSERT_TRUE(WaitForStatus("同步到Strivo成功！本次上传1条，之前已上传23条")) << Status();
    m_dialog->onStats = [&](wxDialog& stats, StatsChart& chart) {
        Pump(300ms, [] { return false; });
        const wxString line = dynamic_cast<wxStaticText*>(stats.GetChildren()[1])->GetLabel();
        EXPECT_TRUE(line.StartsWith(Utf8("全部：24 次，184.38 公里"))) << line;
        EXPECT_TRUE(wxString::FromUTF8(chart.layout().bars.back().label.text).EndsWith(Utf8("日")));
        SaveScreenshot("stats-dialog-linux", &stats);
        // Home and End, wherever the focus is, and the wheel over the chart
        // scroll it; the latest weeks show first.
        auto* bars = dynamic_cast<wxScrolledCanvas*>(stats.GetChildren()[2]);
        const auto viewX = [&] { return bars->CalcUnscrolledPosition({0, 0}).x; };
        const auto key = [&](int code) {
            wxKeyEvent press(wxEVT_CHAR_HOOK);
            press.m_keyCode = code;
            press.SetEventObject(&stats);
            stats.GetEventHandler()->ProcessEvent(press);
        };
        const int end = viewX();
        EXPECT_GT(end, 0);
        key(WXK_HOME);
        EXPECT_EQ(viewX(), 0);
        wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
        wheel.m_wheelRotation = -120;
        wheel.m_wheelDelta = 120;
        bars->GetEventHandler()->ProcessEvent(wheel);
        EXPECT_GE(viewX(), 3 * chart.layout().slot) << "a notch down: three weeks on";
        key(WXK_END);
        EXPECT_EQ(viewX(), end);
        wxKeyEvent escape(wxEVT_CHAR_HOOK);
        escape.m_keyCode = WXK_ESCAPE;
        escape.SetEventObject(&stats);
        stats.GetEventHandler()->ProcessEvent(escape);
        EXPECT_FALSE(stats.IsShown()) << "Escape closes the statistics";
    };
    // The status line comes before the sync's job has wound up.
    EXPECT_TRUE(Pump(5s, [&] { return ChooseFromMenuBar("跑量统计…"); }));
    EXPECT_TRUE(ChooseFromMenuBar("导出TCX…"));  // into the file chosen last
    const std::string tcx = test::ReadFile(folder / "runs.csv");
    std::size_t activities = 0;
    for (std::size_t at = 0; (at = tcx.find("<Activity ", at)) != std::string::npos; ++at) {
        ++activities;
    }
    EXPECT_EQ(activities, 24u);

    Press(IDC_VISIT_SITE);
    EXPECT_EQ(Status(), Utf8("无法启动浏览器，请手动访问 ") +
                            wxString::FromUTF8(SiteUrl(demo.settings(), "")));
}

TEST_F(MainDialogTest, FailuresSayWhyInTheStatusLine) {
    test::StandInServices services;
    Settings settings = services.settings();
    settings.servicePassword = "wrong";
    Open(services.WriteSettingsFile(m_folder.path(), settings), services);
    Control<wxTextCtrl>(IDC_SERVICE_PASSWORD)->ChangeValue("wrong");
    Press(IDC_SERVICE_LOGIN);
    EXPECT_TRUE(WaitForStatus("登陆Nike+失败...（用户名或密码错误）")) << Status();

    Control<wxTextCtrl>(IDC_SERVICE_PASSWORD)->ChangeValue(services.settings().servicePassword);
    Press(IDC_SERVICE_LOGIN);
    ASSERT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
    Control<wxTextCtrl>(IDC_SITE_PASSWORD)->ChangeValue(services.settings().sitePassword);
    // Posted, then no answer: the line is too long for the dialog, its advice
    // gives way, and the counts, the state and the reason stay in sight.
    services.site.AddFault({.path = "/runlogger.php", .onRequest = 3, .drop = true});
    Press(IDC_SYNC);
    auto* status = Control<wxStaticText>(IDC_STATUS);
    ASSERT_TRUE(Pump(20s, [&] { return Control<wxButton>(IDC_SYNC)->IsEnabled(); }));
    const wxString whole = status->GetToolTipText();
    EXPECT_TRUE(whole.StartsWith(Utf8("同步到Strivo失败：22/24条未上传，其中1条结果未知")))
        << whole;
    EXPECT_EQ(Status(), Utf8("同步到Strivo失败：22/24条未上传，其中1条结果未知（连接中断）"));
    EXPECT_LE(status->GetTextExtent(Status()).x, status->GetSize().x);
    EXPECT_TRUE(whole.EndsWith(Utf8("（连接中断）"))) << whole;
    SaveScreenshot("window-sync-failed");

    // The first right-click on the held row selects it, and its menu settles it.
    auto* list = Control<wxListCtrl>(IDC_RUN_TABLE);
    long held = 0;
    while (held < list->GetItemCount() &&
           list->GetItemText(held, kColumnPostState) != Utf8("结果未知")) {
        ++held;
    }
    ASSERT_LT(held, list->GetItemCount());
    const auto selected = [&] {
        std::vector<long> rows;
        for (long row = -1;
             (row = list->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;) {
            rows.push_back(row);
        }
        return rows;
    };
    const auto rightClick = [&](long row, std::vector<long> selectedBefore,
                                std::optional<std::size_t> choice) {
        for (long r = 0; r < list->GetItemCount(); ++r) {
            const bool on =
                std::find(selectedBefore.begin(), selectedBefore.end(), r) != selectedBefore.end();
            list->SetItemState(r, on ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
        }
        wxRect rect;
        list->GetItemRect(row, rect);
        m_dialog->menuChoice = choice;
        wxContextMenuEvent event(
            wxEVT_CONTEXT_MENU, list->GetId(),
            list->ClientToScreen(rect.GetPosition() + wxPoint(40, rect.height / 2)));
        event.SetEventObject(list);
        list->GetEventHandler()->ProcessEvent(event);
        Pump(50ms, [] { return false; });
    };
    rightClick(held, {0, held}, std::nullopt);
    EXPECT_EQ(selected(), (std::vector<long>{0, held})) << "a selection holding the row stays";
    rightClick(held, {0}, 0);
    EXPECT_EQ(m_dialog->menu.at(0), Utf8("已在网站上看到，标记为已上传"));
    EXPECT_EQ(selected(), std::vector<long>{held});
    EXPECT_EQ(list->GetItemText(held, kColumnPostState), Utf8("已上传"));
    EXPECT_EQ(Status(), Utf8("已将1条标记为已上传"));
}

// strivo.db a folder: the download still fills the table, and the TCX
// export fails without a file or a word of success, saying why.
TEST_F(MainDialogTest, TcxExportFromAnUnusableStoreSaysWhyAndWritesNothing) {
    test::StandInServices services;
    const auto settings = services.WriteSettingsFile(m_folder.path(), services.settings());
    std::filesystem::create_directory(m_folder / "strivo.db");
    Open(settings, services);
    Control<wxTextCtrl>(IDC_SERVICE_PASSWORD)->ChangeValue(services.settings().servicePassword);
    Press(IDC_SERVICE_LOGIN);
    ASSERT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
    // The download says what it could not keep.
    ASSERT_EQ(m_dialog->messages.size(), 1u);
    EXPECT_TRUE(m_dialog->messages[0].StartsWith(Utf8("请注意：\n跑步记录未能保存到记录库")))
        << m_dialog->messages[0];
    m_dialog->messages.clear();
    const auto tcx = m_folder / "runs.tcx";
    m_dialog->csvFile = ChosenFile{tcx, tcx.string()};
    ASSERT_TRUE(Pump(5s, [&] { return ChooseFromMenuBar("导出TCX…"); }));
    EXPECT_FALSE(std::filesystem::exists(tcx));
    EXPECT_FALSE(Status().StartsWith(Utf8("成功导出"))) << Status();
    ASSERT_EQ(m_dialog->messages.size(), 1u);
    EXPECT_TRUE(m_dialog->messages[0].Contains(Utf8("是文件夹，不是普通文件")))
        << m_dialog->messages[0];
}

// Run files imported from the menu bar as a job: its counts in the status
// line over the stored runs, each column in sight however long the file's
// key; then the table's runs written as FIT files.
TEST_F(MainDialogTest, ImportFromTheMenuShowsItsCountsThenFitExportWritesEachRun) {
    test::StandInServices services;
    const auto settings = services.WriteSettingsFile(m_folder.path(), services.settings());
    Open(settings, services);
    Control<wxTextCtrl>(IDC_SERVICE_PASSWORD)->ChangeValue(services.settings().servicePassword);
    Press(IDC_SERVICE_LOGIN);
    ASSERT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
    const auto gpx = m_folder / "one.gpx";
    test::WriteFile(gpx,
                    "<gpx><trk><trkseg><trkpt lat=\"31\" lon=\"121\"><time>2024-03-10T06:00:00Z"
                    "</time></trkpt><trkpt lat=\"31.01\" lon=\"121\"><time>2024-03-10T06:05:"
                    "00Z</time></trkpt></trkseg></trk></gpx>");
    test::WriteFile(m_folder / "cut.fit", "....");
    m_dialog->runFiles = {gpx, m_folder / "cut.fit"};
    auto* list = Control<wxListCtrl>(IDC_RUN_TABLE);
    // The menu offers nothing until the download's job has wound up.
    ASSERT_TRUE(Pump(5s, [&] { return ChooseFromMenuBar("导入跑步文件…"); }));
    // The whole line, with where the run kept off waits, is the status line's tooltip
    // where the window is too narrow for it.
    const wxString said = Utf8(
        "从2个文件导入1条记录：0条已有，1个文件无法读取，跳过0项其他运动。"
        "其中1条暂不上传，可在“跑步记录 > 跑步日志…”中选中上传。");
    ASSERT_TRUE(Pump(20s, [&] {
        const wxString tip = Control<wxStaticText>(IDC_STATUS)->GetToolTipText();
        return Status() == said || tip == said;
    })) << Status();
    Pump(50ms, [] { return false; });
    EXPECT_EQ(list->GetItemCount(), 25);
    ASSERT_EQ(m_dialog->messages.size(), 1u);
    EXPECT_TRUE(m_dialog->messages[0].Contains("cut.fit")) << m_dialog->messages[0];
    EXPECT_EQ(list->GetItemText(24, kColumnPostState), Utf8("不上传"));
    int total = 0;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        total += list->GetColumnWidth(static_cast<int>(c));
    }
    EXPECT_LE(total, list->GetClientSize().x);
    EXPECT_GT(list->GetColumnWidth(kColumnPostState), list->GetTextExtent(Utf8("同步状态")).x);

    const auto folder = m_folder / "fit";
    m_dialog->csvFile = ChosenFile{folder, folder.string()};
    EXPECT_TRUE(ChooseFromMenuBar("导出FIT…"));
    EXPECT_EQ(Status(), Utf8(("已导出25个FIT文件到" + folder.string()).c_str()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 25);
}

TEST_F(MainDialogTest, ClosingDuringALongSyncIsCleanAndQuick) {
    sim::Accounts accounts = sim::DemoAccounts();
    accounts.service.runs = sim::GenerateRuns(2000, 7);
    test::StandInServices services(accounts);
    sim::Site& site = services.site;
    site.AddFault({.path = "/runlogger.php", .delay = 20ms});
    Open(services.WriteSettingsFile(m_folder.path(), services.settings()), services);
    Press(IDC_SERVICE_LOGIN);
    ASSERT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
    Press(IDC_SYNC);
    ASSERT_TRUE(Pump(20s, [&] { return site.entries().size() >= 5; }));

    // The window answers at once and goes when the sync has ended.
    const auto start = std::chrono::steady_clock::now();
    m_dialog->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    wxWindow* const dialog = m_dialog;
    m_dialog = nullptr;
    EXPECT_TRUE(Pump(5s, [&] {
        return wxTheApp->IsScheduledForDestruction(dialog) || !wxTopLevelWindows.Find(dialog);
    }));
    Pump(100ms, [] { return false; });
    EXPECT_LT(site.entries().size(), 2000u);
    EXPECT_NE(test::ReadFile(m_folder / "config.ini").find("user=" + accounts.service.user),
              std::string::npos)
        << "the user names are saved when the window goes";
}

}  // namespace
}  // namespace strivo

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new wxApp());
    strivo::test::g_haveDisplay = wxEntryStart(argc, argv) && wxTheApp->CallOnInit();
    const int status = RUN_ALL_TESTS();
    if (strivo::test::g_haveDisplay) {
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    return status;
}
