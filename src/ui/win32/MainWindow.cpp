// The main dialog on Windows: the DIALOGEX template IDD_MAIN, the surface its
// WindowController drives, as the wx dialog is on Linux.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <memory>
#include <vector>

#include "ui/ChooserWords.h"
#include "ui/ControlIds.h"
#include "ui/PostedCalls.h"
#include "ui/RunColumns.h"
#include "ui/WindowController.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/RunLogWindow.h"
#include "ui/win32/StatsWindow.h"
#include "ui/win32/WindowParts.h"

namespace strivo {
namespace {

// The progress messages WM_USER + 2 ... + 7 that other programs may post,
// and the steps they stand for.
constexpr struct {
    UINT message;
    Step step;
} kProgressMessages[] = {
    {WM_USER + 2, Step::ServiceSignedIn}, {WM_USER + 3, Step::SummaryReady},
    {WM_USER + 4, Step::RunsDownloaded},  {WM_USER + 5, Step::SiteSignedIn},
    {WM_USER + 6, Step::SyncDone},        {WM_USER + 7, Step::Posted},
};

std::optional<Step> StepOfMessage(UINT message) {
    for (const auto& entry : kProgressMessages) {
        if (entry.message == message) {
            return entry.step;
        }
    }
    return std::nullopt;
}
std::wstring ItemText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

class MainWindow : public WindowSurface {
public:
    explicit MainWindow(MainWindowOptions options)
        : m_demo(options.demo), m_controller(*this, std::move(options)) {}

    int Run();

    std::string Text(int id) override { return Narrow(ItemText(m_dialog, id)); }
    void SetText(int id, const std::string& text) override {
        SetDlgItemTextW(m_dialog, id, Wide(text).c_str());
    }
    void SetEnabled(int id, bool enabled) override {
        EnableWindow(GetDlgItem(m_dialog, id), enabled);
    }
    void Focus(int id) override { SetFocus(GetDlgItem(m_dialog, id)); }
    int TextWidth(int id, const std::string& text) override {
        return strivo::TextWidth(GetDlgItem(m_dialog, id), Wide(text));
    }
    int Width(int id) override {
        RECT rect{};
        GetClientRect(GetDlgItem(m_dialog, id), &rect);
        return rect.right - rect.left;
    }
    void SetToolTip(int id, const std::string& text) override;
    void ListChanged(const ListRows& rows, ListRows::Change change) override;
    void PostStatesChanged() override { InvalidateRect(m_list, nullptr, FALSE); }
    std::optional<std::size_t> ShowListMenu(const std::vector<MenuItem>& items) override;
    void ShowMessage(const std::string& text) override {
        ChineseMessageBox(m_dialog, Wide(text), L"", MB_OK);
    }
    void ShowAbout() override {
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), m_dialog,
                        &MainWindow::AboutProc, 0);
    }
    bool Confirm(const std::string& text) override {
        return ChineseMessageBox(m_dialog, Wide(text), L"",
                                 MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) == IDYES;
    }
    void ShowAppMessage(const std::string& text) override {
        ChineseMessageBox(m_dialog, Wide(text), L"Strivo（Nike+）", MB_OK | MB_ICONEXCLAMATION);
    }
    void ShowSettingsProblems(const std::string& text) override { ShowAppMessage(text); }
    std::optional<ChosenFile> ChooseCsvFile() override {
        return ChooseSaveFile(m_dialog, SaveFilter(chooser_words::CsvFiles(), L"*.csv").c_str(),
                              L"csv", L"");
    }
    std::optional<ChosenFile> ChooseTcxFile() override {
        return ChooseSaveFile(m_dialog, SaveFilter(chooser_words::TcxFiles(), L"*.tcx").c_str(),
                              L"tcx", L"runs.tcx");
    }
    std::vector<std::filesystem::path> ChooseRunFiles() override {
        return ChooseRunFilesToOpen(m_dialog);
    }
    std::optional<ChosenFile> ChooseFitFolder() override {
        return ChooseFolder(m_dialog, Wide(chooser_words::ExportFitTitle(), CP_UTF8).c_str());
    }
    void ShowStats(StatsChart& chart) override { ShowStatsWindow(m_dialog, chart); }
    void ShowSyncRecord(const std::string& text) override {
        ChineseMessageBox(m_dialog, Wide(text), L"同步记录", MB_OK);
    }
    RunLogSurface* OpenRunLog(RunLogController& controller) override {
        m_runLog = RunLogWindow::Make(controller, m_dialog);
        return m_runLog.get();
    }
    bool OpenBrowser(const std::string& url) override {
        // ShellExecute's success is any value above 32.
        return reinterpret_cast<INT_PTR>(ShellExecuteW(m_dialog, L"open", Wide(url).c_str(),
                                                       nullptr, nullptr, SW_SHOWNORMAL)) > 32;
    }
    // Called on any thread.
    void Post(std::function<void()> call) override {
        m_posted.Post(std::move(call),
                      [this] { return PostMessageW(m_dialog, kPostedCall, 0, 0); });
    }
    void CloseWindow() override { DestroyWindow(m_dialog); }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    void OnInitDialog();
    void FillMenuBar();
    // A menu of the bar opens: its items greyed or not, as the controller says now.
    void OnMenuOpens(HMENU menu);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id);
    void OnGetItemText(NMLVDISPINFOW& info);
    void OnListMenu(LPARAM at);

    HWND m_dialog = nullptr;
    HWND m_list = nullptr;
    HWND m_tooltips = nullptr;  // made with the first tooltip
    HACCEL m_keys = nullptr;    // the menu bar's keys
    std::wstring m_cell;        // the text a list-view item asked for last
    POINT m_menuAt{};           // where the list's menu opens, on the screen
    PostedCalls m_posted;
    const bool m_demo;
    std::unique_ptr<RunLogWindow> m_runLog;  // the last made, open or closed

    WindowController m_controller;  // last: its workers end before the rest goes
};

void MainWindow::SetToolTip(int id, const std::string& text) {
    const HWND control = GetDlgItem(m_dialog, id);
    if (m_tooltips == nullptr) {
        m_tooltips =
            CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_dialog,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(m_tooltips, TTM_SETMAXTIPWIDTH, 0, 600);  // a long text wraps
    }
    // A label lets the mouse through to the dialog unless it notifies.
    SetWindowLongPtrW(control, GWL_STYLE, GetWindowLongPtrW(control, GWL_STYLE) | SS_NOTIFY);
    std::wstring wide = Wide(text);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = wide.data();
    SendMessageW(m_tooltips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (!text.empty()) {
        SendMessageW(m_tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

int MainWindow::Run() {
    m_dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                  &MainWindow::DialogProc, reinterpret_cast<LPARAM>(this));
    if (m_dialog == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The run log's window has its own keys and Tab order.
        if (m_runLog != nullptr && m_runLog->HandleMessage(message)) {
            continue;
        }
        // Enter and Escape never act in this dialog: they press no button, do
        // not close it and do not reach the focused control.
        if (message.message == WM_KEYDOWN &&
            (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE) &&
            (message.hwnd == m_dialog || IsChild(m_dialog, message.hwnd))) {
            continue;
        }
        if (m_keys != nullptr && TranslateAcceleratorW(m_dialog, m_keys, &message)) {
            continue;
        }
        if (!IsDialogMessageW(m_dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}

INT_PTR CALLBACK MainWindow::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<MainWindow*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        self->m_dialog = dialog;
        self->OnInitDialog();
        return FALSE;  // the focus was set
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

void MainWindow::OnInitDialog() {
    if (m_demo) {
        std::wstring title(GetWindowTextLengthW(m_dialog) + 1, L'\0');
        title.resize(GetWindowTextW(m_dialog, title.data(), static_cast<int>(title.size())));
        SetWindowTextW(m_dialog, (title + L" — 演示").c_str());
    }
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto icon = [&](int size) {
        return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                             size, size, LR_DEFAULTCOLOR));
    };
    SendMessageW(m_dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon(32)));
    SendMessageW(m_dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon(16)));

    if (HMENU systemMenu = GetSystemMenu(m_dialog, FALSE)) {
        wchar_t text[64] = {};
        LoadStringW(instance, IDS_ABOUTBOX, text, 64);
        AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
    }

    FillMenuBar();
    m_list = GetDlgItem(m_dialog, IDC_RUN_TABLE);
    ListView_SetExtendedListViewStyle(m_list,
                                      LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_INFOTIP);
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        std::wstring title = Wide(kListColumnTitles[c], CP_UTF8);
        LVCOLUMNW column{.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM,
                         .fmt = LVCFMT_LEFT,
                         .cx = kListColumnWidths[c],
                         .pszText = title.data(),
                         .iSubItem = static_cast<int>(c)};
        SendMessageW(m_list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    m_controller.Start();
}

INT_PTR MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // The menu bar (0) or its keys (1) name no control.
            if (lParam == 0 && HIWORD(wParam) <= 1) {
                m_controller.OnMenu(LOWORD(wParam));
            } else if (HIWORD(wParam) == BN_CLICKED) {
                OnCommand(LOWORD(wParam));
            } else if (HIWORD(wParam) == EN_KILLFOCUS && LOWORD(wParam) == IDC_SITE_USER) {
                m_controller.OnSiteUserEdited();
            } else if (HIWORD(wParam) == EN_KILLFOCUS && LOWORD(wParam) == IDC_SERVICE_USER) {
                m_controller.OnServiceUserEdited();
            }
            return TRUE;
        case WM_CONTEXTMENU:
            // The right button, the menu key or Shift+F10, on rows or on none.
            if (reinterpret_cast<HWND>(wParam) != m_list) {
                return FALSE;
            }
            OnListMenu(lParam);
            return TRUE;
        case WM_INITMENUPOPUP:
            // A menu of the bar; the window menu keeps its own states.
            if (HIWORD(lParam) == 0) {
                OnMenuOpens(reinterpret_cast<HMENU>(wParam));
            }
            return TRUE;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
                OnCommand(IDC_ABOUT);
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom == IDC_RUN_TABLE && header->code == LVN_GETDISPINFOW) {
                OnGetItemText(*reinterpret_cast<NMLVDISPINFOW*>(lParam));
                return TRUE;
            }
            if (header->idFrom == IDC_RUN_TABLE && header->code == LVN_GETINFOTIPW) {
                auto& tip = *reinterpret_cast<NMLVGETINFOTIPW*>(lParam);
                m_cell = Wide(m_controller.RowTip(static_cast<std::size_t>(tip.iItem)));
                lstrcpynW(tip.pszText, m_cell.c_str(), tip.cchTextMax);
                return TRUE;
            }
            return FALSE;
        }
        case WM_CLOSE:
            m_controller.Close();
            return TRUE;
        case WM_DESTROY:
            if (m_keys != nullptr) {
                DestroyAcceleratorTable(m_keys);
            }
            PostQuitMessage(0);
            return TRUE;
        case kPostedCall:
            // Handled here, not before dispatch, so that none is lost while a
            // message box or the file chooser runs its own loop.
            m_posted.RunOldest();
            return TRUE;
        default:
            // A progress message posted from elsewhere: the report is the
            // message alone, lParam 0 for success.
            if (const std::optional<Step> step = StepOfMessage(message)) {
                m_controller.OnReport(
                    {.step = *step,
                     .problem = lParam == 0 ? std::nullopt : std::optional<Problem>(Problem())});
                return TRUE;
            }
            return FALSE;
    }
}

void MainWindow::OnCommand(int id) {
    // IDOK and IDCANCEL, from Enter and Escape, do nothing.
    if (id == IDC_ABOUT) {
        ShowAbout();
    } else {
        m_controller.OnButton(id);
    }
}

INT_PTR CALLBACK MainWindow::AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

void MainWindow::ListChanged(const ListRows& rows, ListRows::Change change) {
    // Widths are set again only when a new list starts or an id grows, so
    // that a column the user resized stays as it is.
    if (change.newList || change.longer) {
        RECT client{};
        GetClientRect(m_list, &client);
        const auto widths = rows.FitColumns(
            client.right - GetSystemMetrics(SM_CXVSCROLL),
            [this](std::string_view text) { return strivo::TextWidth(m_list, Wide(text)); });
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            ListView_SetColumnWidth(m_list, static_cast<int>(c), widths[c]);
        }
    }
    ListView_SetItemCountEx(m_list, static_cast<int>(rows.size()),
                            LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    InvalidateRect(m_list, nullptr, FALSE);
}

void MainWindow::FillMenuBar() {
    const HMENU bar = GetMenu(m_dialog);
    while (GetMenuItemCount(bar) > 0) {  // the template's stand-in
        DeleteMenu(bar, 0, MF_BYPOSITION);
    }
    m_keys = strivo::FillMenuBar(bar, m_controller.MenuBar());
    DrawMenuBar(m_dialog);
}

void MainWindow::OnMenuOpens(HMENU menu) {
    // The list's menu, open too, has its own ids and states.
    RefreshMenu(menu, WindowController::kFirstMenuId,
                [this](int id) { return m_controller.MenuEnabled(id); });
}

void MainWindow::OnGetItemText(NMLVDISPINFOW& info) {
    if ((info.item.mask & LVIF_TEXT) == 0 || info.item.cchTextMax <= 0) {
        return;
    }
    m_cell = Wide(m_controller.list().Cell(static_cast<std::size_t>(info.item.iItem),
                                           static_cast<std::size_t>(info.item.iSubItem)));
    lstrcpynW(info.item.pszText, m_cell.c_str(), info.item.cchTextMax);
}

void MainWindow::OnListMenu(LPARAM at) {
    m_menuAt = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {  // from the keyboard: at the list's corner, for the rows selected
        m_menuAt = {};
        ClientToScreen(m_list, &m_menuAt);
    } else {
        // The menu is the row's under the pointer: that row alone is
        // selected, unless the selection holds it already.
        if (const int row = UnselectedRowAt(m_list, m_menuAt); row >= 0) {
            ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED);
            ListView_SetItemState(m_list, row, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
        }
    }
    std::vector<std::size_t> selected;
    for (int item = ListView_GetNextItem(m_list, -1, LVNI_SELECTED); item >= 0;
         item = ListView_GetNextItem(m_list, item, LVNI_SELECTED)) {
        selected.push_back(static_cast<std::size_t>(item));
    }
    m_controller.OnListMenu(selected);
}

std::optional<std::size_t> MainWindow::ShowListMenu(const std::vector<MenuItem>& items) {
    return TrackMenu(m_dialog, items, m_menuAt);
}

}  // namespace

int RunMainWindow(MainWindowOptions options) {
    // The run log's status bar is of the bar classes.
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    MainWindow window(std::move(options));
    return window.Run();
}

}  // namespace strivo
