// The run log's window driven through its controls over the real controller
// and the stand-ins: opened from the main window, filtered, sorted, a
// selection released and kept off, files dropped on it; and a new runner who
// finds, imports, releases and syncs runs with the windows alone.
#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/listctrl.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <map>

#include "WindowTestFixture.h"
#include "ui/RunColumns.h"
#include "ui/wx/RunLogList.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using test::RecordingRunLog;

// A run of `km` kilometres going north from 31°N at 12 km/h, starting then (UTC).
std::string Gpx(const char* start, const char* end, double km) {
    const std::string lat = std::to_string(31.0 + km / 111.2);
    return std::string("<gpx><trk><trkseg><trkpt lat=\"31\" lon=\"121\"><time>") + start +
           "</time></trkpt><trkpt lat=\"" + lat + "\" lon=\"121\"><time>" + end +
           "</time></trkpt></trkseg></trk></gpx>";
}

class RunLogTest : public test::MainDialogTest {
protected:
    // The run log, open and filled with `rows` rows, from the main window's
    // menu bar, or from the list's menu.
    RecordingRunLog* OpenRunLog(long rows, bool fromListMenu = false) {
        if (fromListMenu) {
            m_dialog->menuChoice = 5;  // after the row's own actions and a separator
            wxWindow* list = Control<wxWindow>(IDC_RUN_TABLE);
            wxContextMenuEvent event(wxEVT_CONTEXT_MENU, list->GetId(), wxDefaultPosition);
            event.SetEventObject(list);
            list->GetEventHandler()->ProcessEvent(event);
            EXPECT_EQ(m_dialog->menu.at(5), Utf8("跑步日志…"));
        } else {
            EXPECT_TRUE(ChooseFromMenuBar("跑步日志…"));
        }
        RecordingRunLog* log = m_dialog->runLog.get();
        if (log == nullptr) {
            ADD_FAILURE() << "no run log opened";
            return nullptr;
        }
        EXPECT_TRUE(Pump(5s, [&] { return log->IsShown() && log->list()->GetItemCount() == rows; }))
            << log->list()->GetItemCount();
        return log;
    }

    // The `text` choice of a filter, as the runner picks it.
    static void Filter(RecordingRunLog* log, RunLogFilter which, const char* text) {
        wxChoice* choice = log->filter(which);
        const int index = choice->FindString(Utf8(text));
        ASSERT_GE(index, 0) << text;
        choice->SetSelection(index);
        wxCommandEvent event(wxEVT_CHOICE, choice->GetId());
        event.SetInt(index);
        event.SetEventObject(choice);
        choice->GetEventHandler()->ProcessEvent(event);
    }

    static void ClickHeader(RecordingRunLog* log, int column) {
        wxListEvent event(wxEVT_LIST_COL_CLICK, log->list()->GetId());
        event.SetColumn(column);
        event.SetEventObject(log->list());
        log->list()->GetEventHandler()->ProcessEvent(event);
    }

    static void Select(RecordingRunLog* log, std::vector<long> rows) {
        RunLogList* list = log->list();
        for (long row = 0; row < list->GetItemCount(); ++row) {
            const bool on = std::find(rows.begin(), rows.end(), row) != rows.end();
            list->SetItemState(row, on ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
        }
    }

    // A column's cells, top to bottom.
    static std::vector<wxString> Cells(RecordingRunLog* log, long column) {
        std::vector<wxString> cells;
        for (long row = 0; row < log->list()->GetItemCount(); ++row) {
            cells.push_back(log->list()->GetItemText(row, column));
        }
        return cells;
    }

    // Each line of the import's results: its file and what became of it,
    // which the dialog shows whole.
    static void RecordResults(RecordingRunLog* log,
                              std::vector<std::pair<wxString, wxString>>& results) {
        log->onResults = [&results](ImportResultsDialog& dialog) {
            wxListCtrl* files = dialog.files();
            for (long row = 0; row < files->GetItemCount(); ++row) {
                results.emplace_back(files->GetItemText(row, 0), files->GetItemText(row, 1));
            }
            EXPECT_LE(files->GetColumnWidth(0) + files->GetColumnWidth(1),
                      files->GetClientSize().x);
        };
    }

    // The demo's runs downloaded, and the run log opened from the list's menu.
    RecordingRunLog* DemoRunLog(const test::StandInServices& demo) {
        Open({}, demo, true);
        Press(IDC_SERVICE_LOGIN);
        EXPECT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
        return OpenRunLog(24, /*fromListMenu=*/true);
    }

    // Files dropped on the run log; true once its result has shown.
    bool Drop(RecordingRunLog* log, const std::vector<std::filesystem::path>& paths) {
        wxArrayString files;
        for (const auto& path : paths) {
            files.push_back(wxString::FromUTF8(path.string()));
        }
        const int before = log->resultsShown;
        log->OnFilesDropped(files);
        return Pump(10s, [&] { return log->resultsShown > before; });
    }

    static std::vector<double> Km(RecordingRunLog* log) {
        std::vector<double> values;
        for (const wxString& cell : Cells(log, kLogDistance)) {
            values.push_back(std::stod(cell.ToStdString()));
        }
        return values;
    }

    static std::map<wxString, int> Counted(const std::vector<wxString>& cells) {
        std::map<wxString, int> counts;
        for (const wxString& cell : cells) {
            ++counts[cell];
        }
        return counts;
    }
};

TEST_F(RunLogTest, OpensFromTheListMenuSortsFiltersAndSettlesASelection) {
    test::StandInServices demo;
    RecordingRunLog* log = DemoRunLog(demo);
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->GetTitle().StartsWith(Utf8("跑步日志"))) << log->GetTitle();
    EXPECT_TRUE(log->footer()->GetLabel().StartsWith(Utf8("显示24条：未上传24；共184.4公里，")))
        << log->footer()->GetLabel();
    EXPECT_FALSE(log->strip().empty());
    wxListItem title;
    title.SetMask(wxLIST_MASK_TEXT);
    log->list()->GetColumn(kLogState, title);
    EXPECT_EQ(title.GetText(), Utf8("状态"));
    EXPECT_EQ(Counted(Cells(log, kLogSource)), (std::map<wxString, int>{{"Nike+", 24}}));
    EXPECT_TRUE(log->list()->GetItemText(0, kLogPace).EndsWith("/km"));
    // Newest first; a click on 距离 sorts by it, a second the other way.
    const std::vector<wxString> dates = Cells(log, kLogDate);
    EXPECT_TRUE(std::is_sorted(dates.rbegin(), dates.rend()));
    ClickHeader(log, kLogDistance);
    const std::vector<double> ascending = Km(log);
    EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end()));
    ClickHeader(log, kLogDistance);
    const std::vector<double> descending = Km(log);
    EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend()));

    // Two runs kept off, then one of them released, from the menu bar.
    Select(log, {0, 1});
    const wxString first = log->list()->GetItemText(0, kLogDate);
    ASSERT_TRUE(ChooseFromMenuBar("不上传所选", log));
    EXPECT_EQ(Counted(Cells(log, kLogState)),
              (std::map<wxString, int>{{Utf8("未上传"), 22}, {Utf8("不上传"), 2}}));
    Filter(log, RunLogFilter::State, "不上传");
    ASSERT_EQ(log->list()->GetItemCount(), 2);
    EXPECT_TRUE(log->footer()->GetLabel().StartsWith(Utf8("显示2条：不上传2；")))
        << log->footer()->GetLabel();
    Select(log, {0});
    ASSERT_TRUE(ChooseFromMenuBar("上传所选", log));
    EXPECT_EQ(log->list()->GetItemCount(), 1) << "the released run is no longer kept off";
    Filter(log, RunLogFilter::State, "全部状态");
    Filter(log, RunLogFilter::Year, "2010");
    EXPECT_EQ(log->list()->GetItemCount(), 24);
    EXPECT_EQ(Counted(Cells(log, kLogState))[Utf8("不上传")], 1);
    EXPECT_EQ(log->list()->FindItem(-1, first), 0L) << "sorted by distance still";
}

// Files dropped on it: a result per file, the run kept off the run log;
// then taken back by the keys, the list's menu or the run in full.
TEST_F(RunLogTest, ImportsWhatIsDroppedAndDeletesAnImportedRun) {
    test::StandInServices demo;
    RecordingRunLog* log = DemoRunLog(demo);
    ASSERT_NE(log, nullptr);
    const auto gpx = m_folder / "one.gpx";
    test::WriteFile(gpx, Gpx("2024-03-10T06:00:00Z", "2024-03-10T06:25:00Z", 5));
    test::WriteFile(m_folder / "cut.fit", "....");
    std::vector<std::pair<wxString, wxString>> results;
    RecordResults(log, results);
    ASSERT_TRUE(Drop(log, {gpx}));
    ASSERT_TRUE(Drop(log, {gpx, m_folder / "cut.fit"}));
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].first.EndsWith("one.gpx")) << results[0].first;
    EXPECT_TRUE(results[1].second.Contains(Utf8("重复"))) << results[1].second;
    EXPECT_TRUE(results[2].second.StartsWith(Utf8("无法读取"))) << results[2].second;
    ASSERT_TRUE(Pump(5s, [&] { return log->list()->GetItemCount() == 25; }));
    EXPECT_EQ(log->list()->GetItemText(0, kLogSource), "GPX");
    EXPECT_EQ(log->list()->GetItemText(0, kLogState), Utf8("不上传"));
    SaveScreenshot("run-log-linux", log);
    // Wider, the state column takes the room: a reason may be long.
    log->SetSize(log->GetSize() + wxSize(120, 0));
    EXPECT_TRUE(Pump(5s, [&] {
        int columns = 0;
        for (int column = 0; column < log->list()->GetColumnCount(); ++column) {
            columns += log->list()->GetColumnWidth(column);
        }
        return columns == log->list()->GetClientSize().x;
    }));

    // Selected, the Delete key asks first, and the runner says no; the
    // list's menu offers the same.
    Select(log, {0});
    wxListEvent del(wxEVT_LIST_KEY_DOWN, log->list()->GetId());
    del.m_code = WXK_DELETE;
    log->list()->GetEventHandler()->ProcessEvent(del);
    EXPECT_EQ(log->questions.size(), 1u);
    EXPECT_EQ(log->list()->GetItemCount(), 25);
    wxContextMenuEvent menu(wxEVT_CONTEXT_MENU, log->list()->GetId(), wxDefaultPosition);
    menu.SetEventObject(log->list());
    log->list()->GetEventHandler()->ProcessEvent(menu);
    EXPECT_NE(std::find(log->menu.begin(), log->menu.end(), Utf8("删除所选…")), log->menu.end());
    // A double-click shows it in full, where its button deletes it.
    log->answer = true;
    log->onRun = [&](RunViewDialog& dialog, const RunLogRunView& run) {
        EXPECT_EQ(dialog.posts()->GetItemCount(), 1);
        for (const MenuItem& action : run.actions) {
            if (ToWx(action.text) == Utf8("删除所选…")) {
                return std::optional(action.id);
            }
        }
        return std::optional<int>();
    };
    wxListEvent activate(wxEVT_LIST_ITEM_ACTIVATED, log->list()->GetId());
    activate.SetIndex(0);
    log->list()->GetEventHandler()->ProcessEvent(activate);
    EXPECT_EQ(log->runsShown, 1);
    EXPECT_TRUE(Pump(5s, [&] { return log->list()->GetItemCount() == 24; }));
    EXPECT_EQ(Counted(Cells(log, kLogSource)), (std::map<wxString, int>{{"Nike+", 24}}));
}

// A runner new to Strivo, with no run downloaded: a folder of files into the
// run log, each file's fate read, two of the runs released and synced.
TEST_F(RunLogTest, ANewRunnerImportsAFolderReleasesTwoRunsAndSyncsThem) {
    test::StandInServices services;
    Settings settings = services.settings();
    const std::string sitePassword = settings.sitePassword;
    settings.servicePassword.clear();
    settings.sitePassword.clear();
    Open(services.WriteSettingsFile(m_folder.path(), settings), services);
    const auto folder = m_folder / "watch";
    std::filesystem::create_directory(folder);
    test::WriteFile(folder / "a.gpx", Gpx("2024-03-10T06:00:00Z", "2024-03-10T06:25:00Z", 5));
    test::WriteFile(folder / "b.gpx", Gpx("2024-03-12T06:00:00Z", "2024-03-12T06:50:00Z", 10));
    test::WriteFile(folder / "c.gpx", Gpx("2024-03-14T06:00:00Z", "2024-03-14T06:30:00Z", 6));
    test::WriteFile(folder / "d.gpx", Gpx("2024-03-16T06:00:00Z", "2024-03-16T07:00:00Z", 12));
    test::WriteFile(folder / "e.gpx", Gpx("2024-03-10T06:00:00Z", "2024-03-10T06:25:00Z", 5));
    test::WriteFile(folder / "f.gpx", "<gpx></gpx>");
    test::WriteFile(folder / "g.gpx", "<gpx><trk>");

    RecordingRunLog* log = OpenRunLog(0);
    ASSERT_NE(log, nullptr);
    std::vector<std::pair<wxString, wxString>> results;
    RecordResults(log, results);
    log->runFolder = folder;
    ASSERT_TRUE(ChooseFromMenuBar("导入文件夹…", log));
    ASSERT_TRUE(Pump(10s, [&] { return log->resultsShown == 1; }));
    ASSERT_EQ(results.size(), 7u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i].second, Utf8("1条记录")) << results[i].first;
    }
    EXPECT_TRUE(results[4].second.Contains(Utf8("重复"))) << results[4].second;
    EXPECT_TRUE(results[5].second.Contains(Utf8("没有活动记录"))) << results[5].second;
    EXPECT_TRUE(results[6].second.StartsWith(Utf8("无法读取"))) << results[6].second;

    // The runs are there, kept off; the two longest go to the run log.
    ASSERT_TRUE(Pump(5s, [&] { return log->list()->GetItemCount() == 4; }));
    EXPECT_EQ(Counted(Cells(log, kLogState)), (std::map<wxString, int>{{Utf8("不上传"), 4}}));
    ClickHeader(log, kLogDistance);
    ClickHeader(log, kLogDistance);
    const std::vector<wxString> longest = {log->list()->GetItemText(0, kLogDate),
                                           log->list()->GetItemText(1, kLogDate)};
    Select(log, {0, 1});
    ASSERT_TRUE(ChooseFromMenuBar("上传所选", log));
    EXPECT_TRUE(log->questions.empty()) << "the site has neither";

    // The main window's table took the runs the run log imported and released.
    ASSERT_TRUE(Pump(5s, [&] { return Control<wxListCtrl>(IDC_RUN_TABLE)->GetItemCount() == 4; }));
    Control<wxTextCtrl>(IDC_SITE_PASSWORD)->ChangeValue(wxString::FromUTF8(sitePassword));
    Press(IDC_SYNC);
    ASSERT_TRUE(WaitForStatus("同步到Strivo成功！本次上传2条，之前已上传0条，另有2条不上传"))
        << Status();
    EXPECT_EQ(services.site.entries().size(), 2u);
    const std::map<wxString, int> synced{{Utf8("已上传"), 2}, {Utf8("不上传"), 2}};
    ASSERT_TRUE(Pump(5s, [&] { return Counted(Cells(log, kLogState)) == synced; }))
        << log->footer()->GetLabel();
    for (long row = 0; row < 2; ++row) {
        EXPECT_EQ(log->list()->GetItemText(row, kLogDate), longest[row]);
        EXPECT_EQ(log->list()->GetItemText(row, kLogState), Utf8("已上传"));
    }
}

// Closed where the runner put it, it opens there again: its place is kept
// beside the runs.
TEST_F(RunLogTest, OpensWhereItWasClosed) {
    test::StandInServices services;
    Open(services.WriteSettingsFile(m_folder.path(), services.settings()), services);
    Press(IDC_SERVICE_LOGIN);
    ASSERT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
    RecordingRunLog* log = OpenRunLog(24);
    ASSERT_NE(log, nullptr);
    const wxRect place(30, 40, 700, 500);
    log->SetSize(place);
    ASSERT_TRUE(ChooseFromMenuBar("关闭", log));
    ASSERT_TRUE(Pump(5s, [&] { return !m_dialog->runLog; }));
    log = OpenRunLog(24);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->GetRect(), place);
}

}  // namespace
}  // namespace strivo
