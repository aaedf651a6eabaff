// The main dialog on Windows: the DIALOGEX template IDD_MAIN, the surface its
// WindowController drives, as the wx dialog is on Linux.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>
#include <windowsx.h>

#include <vector>

#include "text/WideText.h"
#include "ui/ControlIds.h"
#include "ui/PostedCalls.h"
#include "ui/RunColumns.h"
#include "ui/WindowController.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/StatsWindow.h"

namespace strivo {
namespace {

// A message box's buttons say 确定, or 是 and 否, as the About box's does,
// whatever the language of Windows: a hook names them as the box comes up.
HHOOK g_messageBoxHook = nullptr;

LRESULT CALLBACK NameTheButton(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDOK, L"确定");
        SetDlgItemTextW(box, IDYES, L"是(&Y)");
        SetDlgItemTextW(box, IDNO, L"否(&N)");
        UnhookWindowsHookEx(g_messageBoxHook);
        g_messageBoxHook = nullptr;
        return 0;
    }
    return CallNextHookEx(g_messageBoxHook, code, wParam, lParam);
}

int ChineseMessageBox(HWND owner, const std::wstring& text, const wchar_t* title, UINT type) {
    g_messageBoxHook = SetWindowsHookExW(WH_CBT, NameTheButton, nullptr, GetCurrentThreadId());
    const int chosen = MessageBoxW(owner, text.c_str(), title, type);
    if (g_messageBoxHook) {
        UnhookWindowsHookEx(g_messageBoxHook);
        g_messageBoxHook = nullptr;
    }
    return chosen;
}

constexpr UINT kPostedCall = WM_APP + 1;  // a call posted to the window's thread

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
constexpr UINT kCodePage = 936;  // the dialog's texts and the credentials

std::wstring Wide(std::string_view text, UINT codePage = kCodePage) {
    return WideFrom(text, codePage);
}

// Pixels `text` takes in `window`'s font (Wine's LVM_GETSTRINGWIDTH counts far too few).
int TextWidth(HWND window, const std::wstring& text) {
    HDC dc = GetDC(window);
    const HGDIOBJ before =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, before);
    ReleaseDC(window, dc);
    return size.cx;
}

std::string Narrow(std::wstring_view wide) {
    return NarrowFrom(wide, kCodePage);
}

std::wstring ItemText(HWND dialog, int id) {
    const HWND item = GetDlgItem(dialog, id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return text;
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
        return ChooseFile(L"Excel文件(*.csv)\0*.csv\0", L"csv", L"");
    }
    std::optional<ChosenFile> ChooseTcxFile() override {
        return ChooseFile(L"TCX文件(*.tcx)\0*.tcx\0", L"tcx", L"runs.tcx");
    }
    std::vector<std::filesystem::path> ChooseRunFiles() override;
    std::optional<ChosenFile> ChooseFitFolder() override;
    void ShowStats(StatsChart& chart) override { ShowStatsWindow(m_dialog, chart); }
    void ShowSyncRecord(const std::string& text) override {
        ChineseMessageBox(m_dialog, Wide(text), L"同步记录", MB_OK);
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
    std::optional<ChosenFile> ChooseFile(const wchar_t* filter, const wchar_t* extension,
                                         const wchar_t* name);

    HWND m_dialog = nullptr;
    HWND m_list = nullptr;
    HWND m_tooltips = nullptr;  // made with the first tooltip
    HACCEL m_keys = nullptr;    // the menu bar's keys
    std::wstring m_cell;        // the text a list-view item asked for last
    POINT m_menuAt{};           // where the list's menu opens, on the screen
    PostedCalls m_posted;
    const bool m_demo;

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
            OnMenuOpens(reinterpret_cast<HMENU>(wParam));
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

std::optional<ChosenFile> MainWindow::ChooseFile(const wchar_t* filter, const wchar_t* extension,
                                                 const wchar_t* name) {
    wchar_t file[MAX_PATH] = {};
    lstrcpynW(file, name, MAX_PATH);
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = m_dialog;
    chooser.lpstrFilter = filter;
    chooser.lpstrFile = file;
    chooser.nMaxFile = MAX_PATH;
    chooser.lpstrDefExt = extension;
    // No overwrite question: an existing file is replaced.
    chooser.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&chooser)) {
        return std::nullopt;
    }
    return ChosenFile{std::filesystem::path(file), Narrow(file)};
}

std::vector<std::filesystem::path> MainWindow::ChooseRunFiles() {
    // Room for many names: the folder, then each name, each ending in a NUL.
    std::vector<wchar_t> names(1 << 16, L'\0');
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = m_dialog;
    chooser.lpstrFilter =
        L"跑步文件(*.gpx;*.tcx;*.fit;*.csv;*.gz;*.zip)\0*.gpx;*.tcx;*.fit;*.csv;*.gz;*.zip\0"
        L"所有文件\0*.*\0";
    chooser.lpstrFile = names.data();
    chooser.nMaxFile = static_cast<DWORD>(names.size());
    chooser.lpstrTitle = L"导入跑步文件";
    chooser.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT |
                    OFN_NOCHANGEDIR;
    std::vector<std::filesystem::path> chosen;
    if (!GetOpenFileNameW(&chooser)) {
        return chosen;
    }
    // One file: its whole path. Several: the folder, then the names.
    const std::filesystem::path first(names.data());
    for (const wchar_t* name = names.data() + first.native().size() + 1; *name != L'\0';
         name += lstrlenW(name) + 1) {
        chosen.push_back(first / name);
    }
    if (chosen.empty()) {
        chosen.push_back(first);
    }
    return chosen;
}

std::optional<ChosenFile> MainWindow::ChooseFitFolder() {
    BROWSEINFOW browse{};
    browse.hwndOwner = m_dialog;
    browse.lpszTitle = L"导出FIT";
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (chosen == nullptr) {
        return std::nullopt;
    }
    wchar_t folder[MAX_PATH] = {};
    const bool found = SHGetPathFromIDListW(chosen, folder);
    CoTaskMemFree(chosen);
    if (!found) {
        return std::nullopt;
    }
    return ChosenFile{std::filesystem::path(folder), Narrow(folder)};
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
    std::vector<ACCEL> keys;
    for (const Menu& menu : m_controller.MenuBar()) {
        const HMENU items = CreatePopupMenu();
        for (const MenuItem& item : menu.items) {
            if (item.text.empty()) {
                AppendMenuW(items, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            std::wstring text = Wide(item.text);
            if (item.ctrlKey != 0) {
                text += L"\tCtrl+" + std::wstring(1, static_cast<wchar_t>(item.ctrlKey));
                keys.push_back({FCONTROL | FVIRTKEY, static_cast<WORD>(item.ctrlKey),
                                static_cast<WORD>(item.id)});
            }
            AppendMenuW(items, MF_STRING | (item.enabled ? 0 : MF_GRAYED),
                        static_cast<UINT_PTR>(item.id), text.c_str());
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(items), Wide(menu.title).c_str());
    }
    DrawMenuBar(m_dialog);
    m_keys = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

void MainWindow::OnMenuOpens(HMENU menu) {
    // The list's menu, open too, has its own ids and states.
    for (int i = 0, count = GetMenuItemCount(menu); i < count; ++i) {
        const int id = static_cast<int>(GetMenuItemID(menu, i));
        if (id >= WindowController::kFirstMenuId) {
            EnableMenuItem(menu, static_cast<UINT>(i),
                           MF_BYPOSITION | (m_controller.MenuEnabled(id) ? MF_ENABLED : MF_GRAYED));
        }
    }
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
        LVHITTESTINFO hit{};
        hit.pt = m_menuAt;
        ScreenToClient(m_list, &hit.pt);
        const int row = ListView_HitTest(m_list, &hit);
        if (row >= 0 && ListView_GetItemState(m_list, row, LVIS_SELECTED) == 0) {
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
    const HMENU menu = CreatePopupMenu();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].text.empty()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu, MF_STRING | (items[i].enabled ? 0 : MF_GRAYED), i + 1,
                        Wide(items[i].text).c_str());
        }
    }
    const int chosen = static_cast<int>(TrackPopupMenu(
        menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, m_menuAt.x, m_menuAt.y, 0, m_dialog, nullptr));
    DestroyMenu(menu);
    return chosen > 0 ? std::optional<std::size_t>(chosen - 1) : std::nullopt;
}

}  // namespace

int RunMainWindow(MainWindowOptions options) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    MainWindow window(std::move(options));
    return window.Run();
}

}  // namespace strivo
