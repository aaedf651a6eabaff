// The main dialog on Windows: the DIALOGEX template IDD_MAIN, driven by the
// same DialogState as the wx dialog on Linux.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <deque>
#include <mutex>
#include <system_error>

#include "export/CsvExport.h"
#include "settings/Settings.h"
#include "site/PostedRuns.h"
#include "text/WideText.h"
#include "ui/DialogState.h"
#include "ui/JobThreads.h"
#include "ui/RunColumns.h"
#include "ui/win32/MainWindow.h"
#include "ui/win32/Resource.h"

namespace strivo {
namespace {

constexpr UINT kTableChanged = WM_APP + 1;          // the run table has a new row count
constexpr UINT kShowSettingsProblems = WM_APP + 2;  // once the window shows
constexpr UINT kCodePage = 936;                     // the dialog's texts and the credentials

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

// Carries a worker's reports to the dialog: each is queued, then its message
// is posted with the outcome as lParam. The dialog takes the queued report
// when the message arrives; messages come in the order they were posted.
class WindowProgress : public ProgressSink {
public:
    void SetWindow(HWND window) { m_window = window; }

    // Called on the worker's thread.
    void Post(ProgressReport report) override {
        const UINT message = static_cast<UINT>(report.message);
        const auto outcome = static_cast<LPARAM>(report.outcome);
        // Queued and posted under one lock: with a download and a sync both
        // reporting, the queue's order must be the messages' order.
        std::lock_guard lock(m_mutex);
        m_reports.push_back(std::move(report));
        if (!PostMessageW(m_window, message, 0, outcome)) {
            m_reports.pop_back();  // no message will come for it
        }
    }

    // The report of `message`; one made from the message alone when none is
    // queued (a message that came from elsewhere).
    ProgressReport Take(UINT message, LPARAM outcome) {
        std::lock_guard lock(m_mutex);
        if (!m_reports.empty() && static_cast<UINT>(m_reports.front().message) == message) {
            ProgressReport report = std::move(m_reports.front());
            m_reports.pop_front();
            return report;
        }
        ProgressReport report;
        report.message = static_cast<ProgressMessage>(message);
        report.outcome = static_cast<long>(outcome);
        return report;
    }

private:
    HWND m_window = nullptr;
    std::mutex m_mutex;
    std::deque<ProgressReport> m_reports;
};

class MainWindow {
public:
    explicit MainWindow(MainWindowOptions options) : m_options(std::move(options)) {}

    int Run();

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    void OnInitDialog();
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id);
    void OnClose();
    void OnExport();
    void OnTableChanged(std::size_t changedTo);
    void OnGetItemText(NMLVDISPINFOW& info);

    void UpdateData(bool fromFields);
    void Apply(const DialogUpdate& update);
    void StartJob(JobKind kind);
    void ShowSettingsProblems();
    void StopWorkers();
    void SetItemText(int id, const std::string& cp936);

    MainWindowOptions m_options;
    HWND m_dialog = nullptr;
    HWND m_list = nullptr;
    DialogState m_state;
    Settings m_settings;  // with the credentials the fields hold
    std::wstring m_cell;  // the text a list-view item asked for last
    RunRows m_rows;       // the table as the list last showed it
    LongestRunId m_longestId;

    std::shared_ptr<RunTable> m_runTable = std::make_shared<RunTable>();
    std::shared_ptr<PostedRuns> m_postedRuns;
    int m_tableListener = 0;
    WindowProgress m_progress;

    // Last, so they are joined before anything they use is destroyed.
    JobThreads m_jobs{m_progress, m_runTable};
    bool m_closed = false;
};

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

    m_list = GetDlgItem(m_dialog, IDC_RUN_TABLE);
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (std::size_t c = 0; c < kRunColumnCount; ++c) {
        std::wstring title = Wide(kRunColumnTitles[c], CP_UTF8);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = kRunColumnWidths[c];
        column.pszText = title.data();
        column.iSubItem = static_cast<int>(c);
        SendMessageW(m_list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }

    m_progress.SetWindow(m_dialog);
    // Called on whichever thread changed the table: only post.
    const HWND dialog = m_dialog;
    m_tableListener = m_runTable->AddListener(
        [dialog](std::size_t rowCount) { PostMessageW(dialog, kTableChanged, rowCount, 0); });

    m_settings = LoadSettings(m_options.settingsPath);
    m_postedRuns = std::make_shared<PostedRuns>(PostedRunsPathFor(m_options.settingsPath));
    UpdateData(false);
    Apply(DialogUpdate{m_state.view(), {}, {}, JobKind::None});
    SetFocus(GetDlgItem(m_dialog, IDC_SERVICE_LOGIN));
    if (!m_settings.problems.empty()) {
        PostMessageW(m_dialog, kShowSettingsProblems, 0, 0);
    }
}

void MainWindow::ShowSettingsProblems() {
    MessageBoxW(m_dialog, Wide(DialogState::SettingsProblemsMessage(m_settings.problems)).c_str(),
                L"Strivo（Nike+）", MB_OK | MB_ICONEXCLAMATION);
}

INT_PTR MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                OnCommand(LOWORD(wParam));
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
            return FALSE;
        }
        case WM_CLOSE:
            OnClose();
            return TRUE;
        case WM_DESTROY:
            PostQuitMessage(0);
            return TRUE;
        case kTableChanged:
            OnTableChanged(static_cast<std::size_t>(wParam));
            return TRUE;
        case kShowSettingsProblems:
            ShowSettingsProblems();
            return TRUE;
        case WM_SERVICE_LOGIN_DONE:
        case WM_SUMMARY_READY:
        case WM_RUNS_DONE:
        case WM_SITE_LOGIN_DONE:
        case WM_SYNC_DONE:
        case WM_SYNC_PROGRESS:
            // Handled here, not before dispatch, so that none is lost while a
            // message box or the file chooser runs its own loop.
            Apply(m_state.OnReport(m_progress.Take(message, lParam)));
            return TRUE;
        default:
            return FALSE;
    }
}

void MainWindow::OnCommand(int id) {
    switch (id) {
        case IDC_SERVICE_LOGIN:
        case IDC_REFRESH:
            UpdateData(true);
            Apply(m_state.OnServiceLogin(m_settings.serviceUser, m_settings.servicePassword));
            break;
        case IDC_SYNC:
            UpdateData(true);
            Apply(m_state.OnSync(m_settings.siteUser, m_settings.sitePassword));
            break;
        case IDC_EXPORT:
            OnExport();
            break;
        case IDC_VISIT_SITE: {
            const std::string url = SiteUrl(m_settings, "");
            // ShellExecute's success is any value above 32.
            if (reinterpret_cast<INT_PTR>(ShellExecuteW(m_dialog, L"open", Wide(url).c_str(),
                                                        nullptr, nullptr, SW_SHOWNORMAL)) <= 32) {
                Apply(m_state.OnBrowserFailed(url));
            }
            break;
        }
        case IDC_ABOUT:
            DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), m_dialog,
                            &MainWindow::AboutProc, 0);
            break;
        default:
            break;  // IDOK and IDCANCEL: Enter and Escape do nothing
    }
}

INT_PTR CALLBACK MainWindow::AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

void MainWindow::UpdateData(bool fromFields) {
    const struct {
        int id;
        std::string* text;
    } fields[] = {{IDC_SERVICE_USER, &m_settings.serviceUser},
                  {IDC_SERVICE_PASSWORD, &m_settings.servicePassword},
                  {IDC_SITE_USER, &m_settings.siteUser},
                  {IDC_SITE_PASSWORD, &m_settings.sitePassword}};
    for (const auto& field : fields) {
        if (fromFields) {
            *field.text = Narrow(ItemText(m_dialog, field.id));
        } else {
            SetDlgItemTextW(m_dialog, field.id, Wide(*field.text).c_str());
        }
    }
}

void MainWindow::SetItemText(int id, const std::string& cp936) {
    const std::wstring text = Wide(cp936);
    if (ItemText(m_dialog, id) != text) {
        SetDlgItemTextW(m_dialog, id, text.c_str());
    }
}

void MainWindow::Apply(const DialogUpdate& update) {
    const DialogView& view = update.view;
    SetItemText(IDC_STATUS, view.status);
    SetItemText(IDC_SUMMARY, view.summary);
    EnableWindow(GetDlgItem(m_dialog, IDC_SERVICE_LOGIN), view.serviceSignInEnabled);
    EnableWindow(GetDlgItem(m_dialog, IDC_REFRESH), view.refreshEnabled);
    EnableWindow(GetDlgItem(m_dialog, IDC_SYNC), view.syncEnabled);
    EnableWindow(GetDlgItem(m_dialog, IDC_EXPORT), view.exportEnabled);
    if (update.message) {
        MessageBoxW(m_dialog, Wide(*update.message).c_str(), L"", MB_OK);
    }
    if (update.focus) {
        static constexpr int kFieldIds[] = {IDC_SERVICE_USER, IDC_SERVICE_PASSWORD, IDC_SITE_USER,
                                            IDC_SITE_PASSWORD};
        SetFocus(GetDlgItem(m_dialog, kFieldIds[static_cast<int>(*update.focus)]));
    }
    if (update.start != JobKind::None) {
        StartJob(update.start);
    }
}

void MainWindow::StartJob(JobKind kind) {
    if (m_closed) {
        return;
    }
    // No request goes to a host or port the user did not mean.
    if (!m_settings.problems.empty()) {
        ShowSettingsProblems();
        return;
    }
    try {
        m_jobs.Start(kind, m_settings, m_options.sessionConfig, m_postedRuns);
    } catch (const std::system_error&) {
        MessageBoxW(m_dialog, Wide(DialogState::CannotStartThreadMessage()).c_str(),
                    L"Strivo（Nike+）", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    Apply(m_state.OnJobStarted(kind));
}

void MainWindow::OnExport() {
    // The rows as they are now decide what is written.
    const RunRows rows = m_runTable->Snapshot();
    if (const auto message = m_state.OnExportPressed(rows.size())) {
        MessageBoxW(m_dialog, Wide(*message).c_str(), L"", MB_OK);
        return;
    }
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = m_dialog;
    chooser.lpstrFilter = L"Excel文件(*.csv)\0*.csv\0";
    chooser.lpstrFile = file;
    chooser.nMaxFile = MAX_PATH;
    chooser.lpstrDefExt = L"csv";
    // No overwrite question: an existing file is replaced.
    chooser.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&chooser)) {
        return;
    }
    Apply(m_state.OnExportStarted());
    const FileResult written = ExportCsv(std::filesystem::path(file), rows);
    Apply(m_state.OnExportFinished(written.ok(), Narrow(file)));
}

void MainWindow::OnTableChanged(std::size_t changedTo) {
    // The newest rows, not just the count of the message: messages may queue up.
    m_rows = m_runTable->Snapshot();
    const LongestRunId::Change change = m_longestId.Measure(changedTo, m_rows);
    if (change.newList) {
        ListView_SetColumnWidth(m_list, kColumnRunId, kRunColumnWidths[kColumnRunId]);
    }
    // The RunID column as wide as the longest id, with the cell's margins.
    if (change.longer) {
        const int wanted = TextWidth(m_list, Wide(m_longestId.id())) + 16;
        if (ListView_GetColumnWidth(m_list, kColumnRunId) < wanted) {
            ListView_SetColumnWidth(m_list, kColumnRunId, wanted);
        }
    }
    ListView_SetItemCountEx(m_list, static_cast<int>(m_rows.size()),
                            LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    InvalidateRect(m_list, nullptr, FALSE);
}

void MainWindow::OnGetItemText(NMLVDISPINFOW& info) {
    if ((info.item.mask & LVIF_TEXT) == 0 || info.item.cchTextMax <= 0) {
        return;
    }
    // The rows the item count came from; the table may have moved on since.
    const auto row = static_cast<std::size_t>(info.item.iItem);
    m_cell = row < m_rows.size() ? Wide(m_rows[row][static_cast<std::size_t>(info.item.iSubItem)])
                                 : std::wstring();
    lstrcpynW(info.item.pszText, m_cell.c_str(), info.item.cchTextMax);
}

void MainWindow::StopWorkers() {
    m_jobs.StopAll();
    if (m_tableListener != 0) {
        m_runTable->RemoveListener(m_tableListener);
        m_tableListener = 0;
    }
}

void MainWindow::OnClose() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    // Workers are cancelled and joined before the window goes, so none
    // touches it afterwards.
    StopWorkers();
    // A failed save changes nothing on disk and is not reported.
    SaveSettings(m_options.settingsPath, m_settings.serviceUser, m_settings.siteUser);
    DestroyWindow(m_dialog);
}

}  // namespace

int RunMainWindow(MainWindowOptions options) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    MainWindow window(std::move(options));
    return window.Run();
}

}  // namespace strivo
