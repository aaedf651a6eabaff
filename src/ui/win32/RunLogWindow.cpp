// The run log's window on Windows: the template IDD_RUN_LOG made a top-level
// window of its own, the surface its RunLogController drives.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ui/ChooserWords.h"
#include "ui/ControlIds.h"
#include "ui/PostedCalls.h"
#include "ui/win32/RunLogDialogs.h"
#include "ui/win32/RunLogIds.h"
#include "ui/win32/RunLogLayout.h"
#include "ui/win32/RunLogWindow.h"
#include "ui/win32/WindowParts.h"

namespace strivo {
namespace {

// While the run log shows something modal, the main window waits as well.
class MainWindowWaits {
public:
    explicit MainWindowWaits(HWND main)
        : m_main(main), m_enabled(main != nullptr && IsWindowEnabled(main)) {
        if (m_enabled) {
            EnableWindow(m_main, FALSE);
        }
    }
    ~MainWindowWaits() {
        if (m_enabled && IsWindow(m_main)) {
            EnableWindow(m_main, TRUE);
        }
    }
    MainWindowWaits(const MainWindowWaits&) = delete;
    MainWindowWaits& operator=(const MainWindowWaits&) = delete;

private:
    HWND m_main;
    bool m_enabled;
};

class Win32RunLog final : public RunLogWindow {
public:
    Win32RunLog(RunLogController& controller, HWND main) : m_controller(controller), m_main(main) {}
    ~Win32RunLog() override {
        m_gone = true;
        if (m_window != nullptr && IsWindow(m_window)) {
            DestroyWindow(m_window);
        }
    }
    Win32RunLog(const Win32RunLog&) = delete;
    Win32RunLog& operator=(const Win32RunLog&) = delete;

    bool Create() {
        m_window =
            CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_RUN_LOG), nullptr,
                               &Win32RunLog::DialogProc, reinterpret_cast<LPARAM>(this));
        return m_window != nullptr;
    }

    bool HandleMessage(MSG& message) override;

    void SetTitle(const std::string& text) override {
        SetWindowTextW(m_window, Wide(text).c_str());
    }
    void SetColumns(const std::vector<RunLogColumn>& columns) override;
    void ShowRows(std::size_t count) override;
    void RefreshRows() override { InvalidateRect(m_list, nullptr, FALSE); }
    void SetSortMark(std::size_t column, bool ascending) override;
    std::vector<std::size_t> SelectedRows() override;
    void SelectRows(const std::vector<std::size_t>& rows) override;
    void SelectAllRows() override {
        ++m_quiet;
        ListView_SetItemState(m_list, -1, LVIS_SELECTED, LVIS_SELECTED);
        --m_quiet;
    }
    void SetChoices(RunLogFilter filter, const RunLogChoices& choices) override;
    void SetStrip(const std::vector<std::string>& figures) override {
        m_layout.SetFigures(figures);
        m_layout.LayOut();
    }
    void SetFooter(const std::string& text) override {
        SetDlgItemTextW(m_window, IDC_LOG_FOOTER, Wide(text).c_str());
        m_layout.LayOut();  // a long footer takes a second line
    }
    void SetStatus(const std::string& text) override {
        SetWindowTextW(m_status, Wide(text).c_str());
    }

    std::optional<std::size_t> ShowContextMenu(const std::vector<MenuItem>& items) override {
        MainWindowWaits waits(m_main);
        return TrackMenu(m_window, items, m_menuAt);
    }
    void ShowImportResults(const RunLogImportResults& results) override {
        MainWindowWaits waits(m_main);
        ShowImportResultsDialog(m_window, results);
    }
    std::optional<int> ShowRun(const RunLogRunView& run) override {
        MainWindowWaits waits(m_main);
        return ShowRunDialog(m_window, run);
    }
    void ShowMessage(const std::string& text) override {
        MainWindowWaits waits(m_main);
        ChineseMessageBox(m_window, Wide(text), L"", MB_OK);
    }
    bool Confirm(const std::string& text) override {
        MainWindowWaits waits(m_main);
        return ChineseMessageBox(m_window, Wide(text), L"",
                                 MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) == IDYES;
    }
    std::vector<std::filesystem::path> ChooseRunFiles() override {
        MainWindowWaits waits(m_main);
        return ChooseRunFilesToOpen(m_window);
    }
    std::optional<std::filesystem::path> ChooseRunFolder() override {
        MainWindowWaits waits(m_main);
        std::optional<ChosenFile> folder =
            ChooseFolder(m_window, Wide(chooser_words::ImportFolderTitle(), CP_UTF8).c_str());
        return folder ? std::optional(folder->path) : std::nullopt;
    }
    std::optional<ChosenFile> ChooseCsvFile() override {
        MainWindowWaits waits(m_main);
        return ChooseSaveFile(m_window, SaveFilter(chooser_words::CsvFiles(), L"*.csv").c_str(),
                              L"csv", L"");
    }
    std::optional<ChosenFile> ChooseTcxFile() override {
        MainWindowWaits waits(m_main);
        return ChooseSaveFile(m_window, SaveFilter(chooser_words::TcxFiles(), L"*.tcx").c_str(),
                              L"tcx", L"runs.tcx");
    }
    std::optional<ChosenFile> ChooseFitFolder() override {
        MainWindowWaits waits(m_main);
        return ChooseFolder(m_window, Wide(chooser_words::ExportFitTitle(), CP_UTF8).c_str());
    }

    WindowPlace Place() override;
    void SetPlace(const WindowPlace& place) override;
    void Raise() override;

    // Called on any thread.
    void Post(std::function<void()> call) override {
        m_posted.Post(std::move(call),
                      [this] { return PostMessageW(m_window, kPostedCall, 0, 0); });
    }
    void CloseWindow() override {
        m_gone = true;
        DestroyWindow(m_window);
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR self);

    void OnInitDialog();
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnListNotify(NMHDR& header);
    void OnToolTip(NMLVGETINFOTIPW& tip);
    void OnListMouseMove(LPARAM at);
    void OnListMenu(LPARAM at);
    void OnDrop(HDROP drop);

    RunLogController& m_controller;
    const HWND m_main;
    HWND m_window = nullptr;
    HWND m_list = nullptr;
    HWND m_status = nullptr;
    HACCEL m_keys = nullptr;   // the menu bar's keys
    std::wstring m_cell;       // the text the list asked for last
    POINT m_menuAt{};          // where the context menu opens, on the screen
    POINT m_tipCell{-1, -1};   // the cell under the pointer: row, column
    int m_quiet = 0;           // selection changes the controller made itself
    bool m_maximized = false;  // as it shows first
    bool m_gone = false;       // closed: the controller is called no more
    RunLogLayout m_layout{nullptr};
    PostedCalls m_posted;
};

bool Win32RunLog::HandleMessage(MSG& message) {
    if (m_gone || (message.hwnd != m_window && !IsChild(m_window, message.hwnd))) {
        return false;
    }
    if (m_keys != nullptr && TranslateAcceleratorW(m_window, m_keys, &message)) {
        return true;
    }
    if (!IsDialogMessageW(m_window, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

INT_PTR CALLBACK Win32RunLog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32RunLog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_window = window;
        self->m_layout = RunLogLayout(window);
        self->OnInitDialog();
        return FALSE;  // it shows later, and takes the focus then
    }
    auto* self = reinterpret_cast<Win32RunLog*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

LRESULT CALLBACK Win32RunLog::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR self) {
    if (message == WM_MOUSEMOVE) {
        reinterpret_cast<Win32RunLog*>(self)->OnListMouseMove(lParam);
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

void Win32RunLog::OnInitDialog() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const auto& [which, size] : {std::pair{ICON_BIG, 32}, std::pair{ICON_SMALL, 16}}) {
        SendMessageW(m_window, WM_SETICON, which,
                     reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    }
    m_list = GetDlgItem(m_window, IDC_LOG_LIST);
    m_status = GetDlgItem(m_window, IDC_LOG_STATUS);
    ListView_SetExtendedListViewStyle(
        m_list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER);
    SetWindowSubclass(m_list, &Win32RunLog::ListProc, 1, reinterpret_cast<DWORD_PTR>(this));

    const HMENU bar = CreateMenu();
    m_keys = FillMenuBar(bar, m_controller.MenuBar());
    SetMenu(m_window, bar);
    DragAcceptFiles(m_window, TRUE);

    // Until a place is kept, it opens over the main window's middle.
    CentreOver(m_window, m_main);
    m_layout.LayOut();
}

INT_PTR Win32RunLog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            m_layout.LayOut();
            return TRUE;
        case WM_GETMINMAXINFO: {
            const SIZE least = DialogUnits(m_window, 320, 180);
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {least.cx, least.cy};
            return TRUE;
        }
        case WM_COMMAND:
            OnCommand(wParam, lParam);
            return TRUE;
        case WM_NOTIFY: {
            auto& header = *reinterpret_cast<NMHDR*>(lParam);
            if (header.hwndFrom == m_list && !m_gone) {
                OnListNotify(header);
            }
            return FALSE;
        }
        case WM_CONTEXTMENU:
            // The right button, the menu key or Shift+F10, on rows or on none.
            if (reinterpret_cast<HWND>(wParam) != m_list || m_gone) {
                return FALSE;
            }
            OnListMenu(lParam);
            return TRUE;
        case WM_INITMENUPOPUP:
            // A menu of the bar; the window menu keeps its own states.
            if (HIWORD(lParam) == 0 && !m_gone) {
                RefreshMenu(reinterpret_cast<HMENU>(wParam), RunLogController::kFirstMenuId,
                            [this](int id) { return m_controller.MenuEnabled(id); });
            }
            return TRUE;
        case WM_DROPFILES:
            OnDrop(reinterpret_cast<HDROP>(wParam));
            return TRUE;
        case WM_CLOSE:
            // The controller closes the window once an import has ended.
            if (!m_gone) {
                m_controller.Close();
            }
            return TRUE;
        case WM_DESTROY:
            m_gone = true;
            RemoveWindowSubclass(m_list, &Win32RunLog::ListProc, 1);
            if (m_keys != nullptr) {
                DestroyAcceleratorTable(m_keys);
                m_keys = nullptr;
            }
            return TRUE;
        case kPostedCall:
            // Handled here, not before dispatch, so that none is lost while a
            // dialog or a chooser runs its own loop.
            m_posted.RunOldest();
            return TRUE;
        default:
            return FALSE;
    }
}

void Win32RunLog::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    if (m_gone) {
        return;
    }
    if (lParam != 0) {  // a control's: a filter chosen
        if (HIWORD(wParam) == CBN_SELCHANGE && (id == IDC_LOG_YEAR || id == IDC_LOG_STATE)) {
            const auto chosen = SendMessageW(reinterpret_cast<HWND>(lParam), CB_GETCURSEL, 0, 0);
            if (chosen >= 0) {
                m_controller.OnChoice(id == IDC_LOG_YEAR ? RunLogFilter::Year : RunLogFilter::State,
                                      static_cast<std::size_t>(chosen));
            }
        }
        return;
    }
    if (id == IDOK) {
        // Enter, which the dialog manager takes before the list sees it: the
        // focused row in full.
        const int row = ListView_GetNextItem(m_list, -1, LVNI_FOCUSED);
        if (GetFocus() == m_list && row >= 0) {
            m_controller.OnRowActivated(static_cast<std::size_t>(row));
        }
    } else if (id != IDCANCEL) {  // Escape does nothing; the rest is the menu bar or its keys
        m_controller.OnMenu(id);
    }
}

void Win32RunLog::OnListNotify(NMHDR& header) {
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            auto& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
            if ((item.mask & LVIF_TEXT) != 0 && item.cchTextMax > 0) {
                m_cell = Wide(m_controller.Cell(static_cast<std::size_t>(item.iItem),
                                                static_cast<std::size_t>(item.iSubItem)));
                lstrcpynW(item.pszText, m_cell.c_str(), item.cchTextMax);
            }
            break;
        }
        case LVN_GETINFOTIPW:
            OnToolTip(reinterpret_cast<NMLVGETINFOTIPW&>(header));
            break;
        case LVN_COLUMNCLICK:
            m_controller.OnHeaderClicked(
                static_cast<std::size_t>(reinterpret_cast<NMLISTVIEW&>(header).iSubItem));
            break;
        case LVN_ITEMCHANGED: {
            const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
            if (m_quiet == 0 && (change.uChanged & LVIF_STATE) != 0 &&
                ((change.uNewState ^ change.uOldState) & LVIS_SELECTED) != 0) {
                m_controller.OnSelectionChanged();
            }
            break;
        }
        case LVN_ODSTATECHANGED:  // a range, by Shift and a click
            if (m_quiet == 0) {
                m_controller.OnSelectionChanged();
            }
            break;
        case LVN_ITEMACTIVATE: {  // a double-click
            const int row = reinterpret_cast<NMITEMACTIVATE&>(header).iItem;
            if (row >= 0) {
                m_controller.OnRowActivated(static_cast<std::size_t>(row));
            }
            break;
        }
        case LVN_KEYDOWN:
            if (reinterpret_cast<NMLVKEYDOWN&>(header).wVKey == VK_DELETE) {
                m_controller.OnKey(RunLogKey::Delete);
            }
            break;
        default:
            break;
    }
}

void Win32RunLog::OnToolTip(NMLVGETINFOTIPW& tip) {
    // The list asks for a row's tip; the cell is the one under the pointer.
    POINT at{};
    GetCursorPos(&at);
    ScreenToClient(m_list, &at);
    LVHITTESTINFO hit{};
    hit.pt = at;
    SendMessageW(m_list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    const int row = hit.iItem >= 0 ? hit.iItem : tip.iItem;
    m_cell = Wide(m_controller.ToolTip(static_cast<std::size_t>(row),
                                       static_cast<std::size_t>(std::max(0, hit.iSubItem))));
    // None of ours: the list's own, the whole text of a cell cut short.
    if (!m_cell.empty() && tip.cchTextMax > 0) {
        lstrcpynW(tip.pszText, m_cell.c_str(), tip.cchTextMax);
    }
}

void Win32RunLog::OnListMouseMove(LPARAM at) {
    LVHITTESTINFO hit{};
    hit.pt = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    SendMessageW(m_list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.iItem == m_tipCell.x && hit.iSubItem == m_tipCell.y) {
        return;
    }
    // The list keeps a tip for the row: another cell of it takes that tip
    // down, so that the cell's own is asked for.
    if (hit.iItem == m_tipCell.x) {
        if (const HWND tips = ListView_GetToolTips(m_list)) {
            SendMessageW(tips, TTM_POP, 0, 0);
        }
    }
    m_tipCell = {hit.iItem, hit.iSubItem};
}

void Win32RunLog::OnListMenu(LPARAM at) {
    m_menuAt = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {
        // From the keyboard: under the focused row where it is in sight.
        const int focused = ListView_GetNextItem(m_list, -1, LVNI_FOCUSED);
        RECT row{};
        row.left = LVIR_BOUNDS;
        RECT client{};
        GetClientRect(m_list, &client);
        m_menuAt = {};
        if (focused >= 0 &&
            SendMessageW(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(focused),
                         reinterpret_cast<LPARAM>(&row)) &&
            row.bottom > 0 && row.bottom < client.bottom) {
            m_menuAt = {row.left + 16, row.bottom};
        }
        ClientToScreen(m_list, &m_menuAt);
    } else {
        // A right-click on a row outside the selection selects that row alone.
        if (const int row = UnselectedRowAt(m_list, m_menuAt); row >= 0) {
            SelectRows({static_cast<std::size_t>(row)});
            m_controller.OnSelectionChanged();
        }
    }
    m_controller.OnContextMenu();
}

void Win32RunLog::OnDrop(HDROP drop) {
    std::vector<std::filesystem::path> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
        paths.emplace_back(name);
    }
    DragFinish(drop);
    if (!paths.empty() && !m_gone) {
        m_controller.OnFilesDropped(std::move(paths));
    }
}

void Win32RunLog::SetColumns(const std::vector<RunLogColumn>& columns) {
    while (ListView_DeleteColumn(m_list, 0)) {
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
        std::wstring title = Wide(columns[c].title);
        // Room for the title and the sort arrow beside it at least.
        const int least = TextWidth(m_list, title) + 2 * GetSystemMetrics(SM_CXVSCROLL);
        LVCOLUMNW column{.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM,
                         .fmt = columns[c].right ? LVCFMT_RIGHT : LVCFMT_LEFT,
                         .cx = std::max(columns[c].width, least),
                         .pszText = title.data(),
                         .iSubItem = static_cast<int>(c)};
        SendMessageW(m_list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
}

void Win32RunLog::ShowRows(std::size_t count) {
    ++m_quiet;
    ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(m_list, static_cast<int>(count), 0);
    InvalidateRect(m_list, nullptr, FALSE);
    --m_quiet;
}

void Win32RunLog::SetSortMark(std::size_t column, bool ascending) {
    const HWND header = ListView_GetHeader(m_list);
    const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int c = 0; c < count; ++c) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (static_cast<std::size_t>(c) == column) {
            item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
        }
        SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
    }
}

std::vector<std::size_t> Win32RunLog::SelectedRows() {
    std::vector<std::size_t> rows;
    for (int row = ListView_GetNextItem(m_list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(m_list, row, LVNI_SELECTED)) {
        rows.push_back(static_cast<std::size_t>(row));
    }
    return rows;
}

void Win32RunLog::SelectRows(const std::vector<std::size_t>& rows) {
    ++m_quiet;
    ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED);
    for (const std::size_t row : rows) {
        ListView_SetItemState(m_list, static_cast<int>(row), LVIS_SELECTED, LVIS_SELECTED);
    }
    if (!rows.empty()) {
        const int first = static_cast<int>(rows.front());
        ListView_SetItemState(m_list, first, LVIS_FOCUSED, LVIS_FOCUSED);
        ListView_EnsureVisible(m_list, first, FALSE);
    }
    --m_quiet;
}

void Win32RunLog::SetChoices(RunLogFilter filter, const RunLogChoices& choices) {
    const bool year = filter == RunLogFilter::Year;
    SetDlgItemTextW(m_window, year ? IDC_LOG_YEAR_LABEL : IDC_LOG_STATE_LABEL,
                    Wide(choices.label).c_str());
    const HWND list = GetDlgItem(m_window, year ? IDC_LOG_YEAR : IDC_LOG_STATE);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    int widest = 0;
    for (const std::string& text : choices.texts) {
        const std::wstring wide = Wide(text);
        widest = std::max(widest, TextWidth(list, wide));
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    SendMessageW(list, CB_SETCURSEL, choices.chosen, 0);
    m_layout.FitFilter(year ? 0 : 1, widest);
    m_layout.LayOut();
}

WindowPlace Win32RunLog::Place() {
    return PlaceOf(m_window, m_maximized);
}

void Win32RunLog::SetPlace(const WindowPlace& place) {
    if (place.width > 0 && place.height > 0) {
        PutInPlace(m_window, place);
        m_maximized = place.maximized;
    }
}

void Win32RunLog::Raise() {
    if (!IsWindowVisible(m_window)) {
        ShowWindow(m_window, m_maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
        SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_list), TRUE);
    } else if (IsIconic(m_window)) {
        ShowWindow(m_window, SW_RESTORE);
    }
    SetForegroundWindow(m_window);
}

}  // namespace

std::unique_ptr<RunLogWindow> RunLogWindow::Make(RunLogController& controller, HWND mainWindow) {
    auto window = std::make_unique<Win32RunLog>(controller, mainWindow);
    if (!window->Create()) {
        return nullptr;
    }
    return window;
}

}  // namespace strivo
