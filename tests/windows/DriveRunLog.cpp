// Drives strivo.exe's run log (跑步日志) through its own messages: opened by
// the main window's menu bar, a run file imported by its menu, the import's
// results read, and the new run exported as FIT by its menu.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "DriveSupport.h"

namespace drive {
namespace {

// The run log's controls.
constexpr int kList = 1105, kFooter = 1106, kStatus = 1107, kResultFiles = 1111, kRunFields = 1120;
constexpr int kStateFilter = 1104;
constexpr int kDistanceColumn = 1, kSourceColumn = 5, kStateColumn = 6;

// One run of 1 km in 5 minutes, not stored yet.
constexpr char kGpx[] =
    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"drive\" "
    "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><type>running</type><trkseg>"
    "<trkpt lat=\"30.000\" lon=\"120.0\"><time>2010-05-01T06:00:00Z</time></trkpt>"
    "<trkpt lat=\"30.009\" lon=\"120.0\"><time>2010-05-01T06:05:00Z</time></trkpt>"
    "</trkseg></trk></gpx>\n";

HWND FindRunLog(DWORD processId) {
    std::pair<DWORD, HWND> search(processId, nullptr);
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* found = reinterpret_cast<std::pair<DWORD, HWND>*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == found->first && IsWindowVisible(window) &&
                Text(window).starts_with(L"跑步日志")) {
                found->second = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

int FilesIn(const std::wstring& folder, const wchar_t* pattern) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int count = 1;
    while (FindNextFileW(search, &found)) {
        ++count;
    }
    FindClose(search);
    return count;
}

// A click on the header of a list's `column`, as the mouse gives it.
void ClickHeader(HWND list, int column) {
    int x = 0;
    for (int c = 0; c < column; ++c) {
        x += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0));
    }
    x += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0)) /
         2;
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 5));
    PostMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(x, 5));
}

// The import's result dialog, read and closed: its line for the one file.
void ReadImportResults(HWND runLog, HANDLE process) {
    HWND results = nullptr;
    Check(WaitFor([&] { return (results = FileChooser(runLog)) != nullptr; }),
          "the import shows its results");
    if (results == nullptr) {
        return;
    }
    const HWND files = GetDlgItem(results, kResultFiles);
    ListItems lines(process, files);
    Check(Text(results) == L"导入结果", "the results dialog says what it is");
    Check(SendMessageW(files, LVM_GETITEMCOUNT, 0, 0) == 1, "it has a line for the one file");
    Check(lines.Text(0, 0).ends_with(L"-new.gpx") &&
              lines.Text(0, 1).find(L'1') != std::wstring::npos,
          "the line names the file and the run it gave");
    PostMessageW(GetDlgItem(results, IDOK), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return !IsWindow(results); }, 10), "the results dialog closes");
}

}  // namespace

void DriveRunLog(HWND dialog, HANDLE process, const std::wstring& stem, const wchar_t* shotFlag) {
    ChooseFromMenuBar(dialog, L'r', 1);
    HWND runLog = nullptr;
    Check(WaitFor([&] { return (runLog = FindRunLog(GetProcessId(process))) != nullptr; }),
          "跑步日志… opens the run log");
    if (runLog == nullptr) {
        return;
    }
    Check(GetMenu(runLog) != nullptr, "the run log has a menu bar");
    const HWND list = GetDlgItem(runLog, kList);
    const auto rows = [&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); };
    const auto status = [&] { return Text(GetDlgItem(runLog, kStatus)); };
    ListItems items(process, list);
    Check(WaitFor([&] { return rows() == 24; }, 10), "it lists the 24 stored runs");
    Check(items.Text(0, kStateColumn) == L"已上传", "a synced run reads 已上传");
    Check(Text(GetDlgItem(runLog, kFooter)).starts_with(L"显示24条：已上传24"),
          "the footer counts them, all posted");

    // A run file not stored yet, imported through the menu bar's chooser.
    const std::wstring gpx = stem + L"-new.gpx";
    if (FILE* file = _wfopen(gpx.c_str(), L"wb")) {
        std::fputs(kGpx, file);
        std::fclose(file);
    }
    Check(OpenInChooser(
              runLog, [&] { ChooseFromMenuBar(runLog, L'f', 1); }, gpx),
          "导入跑步文件… opens the file chooser");
    ReadImportResults(runLog, process);
    Check(WaitFor([&] { return rows() == 25; }, 10), "the imported run joins the list");
    int imported = -1;
    for (int row = 0; row < rows(); ++row) {
        if (items.Text(row, kSourceColumn) == L"GPX") {
            imported = row;
        }
    }
    Check(imported >= 0 && items.Text(imported, kStateColumn) == L"不上传",
          "the imported run reads GPX and 不上传");
    // The state filter: 不上传 shows that run alone, and the first choice all again.
    const HWND states = GetDlgItem(runLog, kStateFilter);
    const auto choose = [&](LRESULT index) {
        SendMessageW(states, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        PostMessageW(runLog, WM_COMMAND, MAKEWPARAM(kStateFilter, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(states));
    };
    // Windows carries a combo box's string across to strivo.exe itself.
    choose(SendMessageW(states, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(L"不上传")));
    Check(WaitFor([&] { return rows() == 1; }, 10) && items.Text(0, kSourceColumn) == L"GPX",
          "the state filter 不上传 shows the imported run alone");
    choose(0);
    Check(WaitFor([&] { return rows() == 25; }, 10), "and 全部状态 every run");
    if (shotFlag != nullptr) {
        Shot(runLog, shotFlag, L"runlog", Area::MenuAndClient);
    }

    // The imported run selected, and exported as FIT by the menu bar.
    items.Select({imported});
    const std::wstring fits = stem + L"-log-fit";
    Check(PickFolder(
              runLog, [&] { ChooseFromMenuBar(runLog, L'f', 5); }, fits, items),
          "导出所选为FIT… opens the folder browser");
    Check(WaitFor([&] { return status().starts_with(L"已导出1个FIT文件到"); }),
          "the status bar says it wrote one FIT file");
    Check(FilesIn(fits, L"*.fit") == 1, "and the folder holds it");

    // The run in full, by the menu bar: its values, and 关闭.
    ChooseFromMenuBar(runLog, L'r', 6);
    HWND run = nullptr;
    Check(WaitFor([&] { return (run = FileChooser(runLog)) != nullptr; }, 10),
          "跑步记录 opens the run in full");
    if (run != nullptr) {
        Check(SendMessageW(GetDlgItem(run, kRunFields), LVM_GETITEMCOUNT, 0, 0) > 5,
              "it lists the run's values");
        PostMessageW(GetDlgItem(run, IDCANCEL), BM_CLICK, 0, 0);
        Check(WaitFor([&] { return !IsWindow(run); }, 10), "and closes");
    }

    // Released by the list's menu, then taken back by the Delete key.
    ChooseFromListMenu(list, 1);
    Check(WaitFor([&] { return items.Text(imported, kStateColumn) == L"未上传"; }, 10),
          "上传所选 in the list's menu releases it: 未上传");
    PostMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
    Check(Answer(runLog, IDNO).find(L"删除") != std::wstring::npos, "Delete asks first");
    Check(rows() == 25, "a no keeps it");
    PostMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
    Answer(runLog, IDYES);
    Check(WaitFor([&] { return rows() == 24; }, 10), "a yes deletes the imported run");

    // A click on 距离's header sorts by distance, a second the other way.
    const auto distances = [&] {
        std::vector<double> kilometres;
        for (int row = 0; row < rows(); ++row) {
            kilometres.push_back(std::wcstod(items.Text(row, kDistanceColumn).c_str(), nullptr));
        }
        return kilometres;
    };
    const std::vector<double> byDate = distances();
    ClickHeader(list, kDistanceColumn);
    Check(WaitFor([&] { return distances() != byDate; }, 10), "a header's click sorts");
    const std::vector<double> sorted = distances();
    Check(std::is_sorted(sorted.begin(), sorted.end()) ||
              std::is_sorted(sorted.rbegin(), sorted.rend()),
          "by distance");
    ClickHeader(list, kDistanceColumn);
    Check(WaitFor([&] { return distances() == std::vector(sorted.rbegin(), sorted.rend()); }, 10),
          "and a second click the other way");

    // Moved, closed and opened again: it comes back where it was left.
    SetWindowPos(runLog, nullptr, 30, 20, 720, 480, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT left{};
    GetWindowRect(runLog, &left);
    PostMessageW(runLog, WM_CLOSE, 0, 0);
    Check(WaitFor([&] { return !IsWindow(runLog); }, 10), "the run log closes");
    ChooseFromMenuBar(dialog, L'r', 1);
    Check(WaitFor([&] { return (runLog = FindRunLog(GetProcessId(process))) != nullptr; }),
          "跑步日志… opens it again");
    RECT back{};
    GetWindowRect(runLog, &back);
    Check(EqualRect(&left, &back), "where it was left");
    PostMessageW(runLog, WM_CLOSE, 0, 0);
    Check(WaitFor([&] { return !IsWindow(runLog); }, 10), "and closes again");
}

}  // namespace drive
