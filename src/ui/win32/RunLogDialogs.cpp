// The run log's import results and its run in full on Windows, as
// ui/wx/RunLogDialogs are on Linux: the controller gives every text, the
// dialogs only show them and lay them out as they are sized.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/win32/RunLogDialogs.h"
#include "ui/win32/RunLogIds.h"
#include "ui/win32/RunLogLayout.h"
#include "ui/win32/WindowParts.h"

namespace strivo {
namespace {

constexpr int kButtonHeight = 14;
constexpr int kButtonWidth = 50;  // at least
constexpr int kCellPadding = 16;  // pixels beside a cell's text

// A notification's result, which a dialog procedure hands back this way.
INT_PTR Answer(HWND dialog, LRESULT result) {
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
    return TRUE;
}

void AddColumn(HWND list, int index, const std::wstring& title, int width) {
    std::wstring text = title;
    LVCOLUMNW column{.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM,
                     .cx = width,
                     .pszText = text.data(),
                     .iSubItem = index};
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

void SetCell(HWND list, int row, int column, const std::string& text) {
    std::wstring wide = Wide(text);
    LVITEMW item{.mask = LVIF_TEXT, .iItem = row, .iSubItem = column, .pszText = wide.data()};
    if (column == 0) {
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    } else {
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    }
}

// The widest of `texts` in `list`'s font, with room beside it.
template <class Texts>
int WidestText(HWND list, const Texts& texts) {
    int widest = 0;
    for (const std::string& text : texts) {
        widest = std::max(widest, TextWidth(list, Wide(text)));
    }
    return widest + kCellPadding;
}

// The last column takes what the others leave of the list's width.
void FillLastColumn(HWND list) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    if (columns > 0) {
        ListView_SetColumnWidth(list, columns - 1, LVSCW_AUTOSIZE_USEHEADER);
    }
}

void MinimumSize(HWND dialog, LPARAM lParam, int width, int height) {
    const SIZE least = DialogUnits(dialog, width, height);
    auto& info = *reinterpret_cast<MINMAXINFO*>(lParam);
    info.ptMinTrackSize = {least.cx, least.cy};
}

// --- The import's results ---------------------------------------------------

struct ResultsDialog {
    const RunLogImportResults& results;
    std::wstring cell;  // the text the list asked for last
};

void LayOutResults(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    const SIZE margin = DialogUnits(dialog, kMargin, kMargin);
    const SIZE gap = DialogUnits(dialog, kGap, kGap);
    const SIZE button = DialogUnits(dialog, kButtonWidth, kButtonHeight);
    const HWND summary = GetDlgItem(dialog, IDC_RESULTS_SUMMARY);
    const HWND list = GetDlgItem(dialog, IDC_RESULTS_FILES);
    const int width = client.right - 2 * margin.cx;
    const int summaryHeight = TextHeight(summary, WindowText(summary), width);
    const int buttonTop = client.bottom - margin.cy - button.cy;
    const int listTop = margin.cy + summaryHeight + gap.cy;
    MoveWindow(summary, margin.cx, margin.cy, width, summaryHeight, TRUE);
    MoveWindow(list, margin.cx, listTop, width, std::max<int>(0, buttonTop - gap.cy - listTop),
               TRUE);
    MoveWindow(GetDlgItem(dialog, IDOK), client.right - margin.cx - button.cx, buttonTop, button.cx,
               button.cy, TRUE);
    FillLastColumn(list);
}

void FillResults(HWND dialog, const RunLogImportResults& results) {
    SetWindowTextW(dialog, Wide(results.caption).c_str());
    SetDlgItemTextW(dialog, IDC_RESULTS_SUMMARY, Wide(results.summary).c_str());
    const HWND list = GetDlgItem(dialog, IDC_RESULTS_FILES);
    ListView_SetExtendedListViewStyle(
        list, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER | LVS_EX_GRIDLINES);
    // The files' column as wide as its longest name, up to half the list.
    RECT rect{};
    GetClientRect(list, &rect);
    std::vector<std::string> names{results.fileTitle};
    for (std::size_t i = 0; i < results.files.size() && i < 1000; ++i) {
        names.push_back(results.files[i].file);
    }
    AddColumn(list, 0, Wide(results.fileTitle),
              std::min<int>(WidestText(list, names), rect.right / 2));
    AddColumn(list, 1, Wide(results.resultTitle), rect.right / 2);
    ListView_SetItemCountEx(list, static_cast<int>(results.files.size()), 0);
}

INT_PTR OnResultsNotify(HWND dialog, ResultsDialog& self, NMHDR& header) {
    const auto& files = self.results.files;
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            auto& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
            const auto row = static_cast<std::size_t>(item.iItem);
            if ((item.mask & LVIF_TEXT) != 0 && item.cchTextMax > 0 && row < files.size()) {
                self.cell = Wide(item.iSubItem == 0 ? files[row].file : files[row].result);
                lstrcpynW(item.pszText, self.cell.c_str(), item.cchTextMax);
            }
            return TRUE;
        }
        case LVN_GETINFOTIPW: {
            auto& tip = reinterpret_cast<NMLVGETINFOTIPW&>(header);
            const auto row = static_cast<std::size_t>(tip.iItem);
            if (row < files.size()) {
                self.cell = Wide(files[row].file + "\n" + files[row].result);
                lstrcpynW(tip.pszText, self.cell.c_str(), tip.cchTextMax);
            }
            return TRUE;
        }
        case NM_CUSTOMDRAW: {
            auto& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(header);
            if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
                return Answer(dialog, CDRF_NOTIFYITEMDRAW);
            }
            const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
            if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && row < files.size() &&
                !files[row].ok) {
                draw.clrText = RGB(0xC0, 0, 0);
            }
            return Answer(dialog, CDRF_DODEFAULT);
        }
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK ResultsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        FillResults(dialog, reinterpret_cast<ResultsDialog*>(lParam)->results);
        LayOutResults(dialog);
        SetFocus(GetDlgItem(dialog, IDOK));
        return FALSE;  // the focus was set
    }
    auto* self = reinterpret_cast<ResultsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_SIZE:
            LayOutResults(dialog);
            return TRUE;
        case WM_GETMINMAXINFO:
            MinimumSize(dialog, lParam, 200, 120);
            return TRUE;
        case WM_NOTIFY:
            return OnResultsNotify(dialog, *self, *reinterpret_cast<NMHDR*>(lParam));
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDOK);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

// --- A run in full ---------------------------------------------------------

struct RunDialog {
    const RunLogRunView& run;
    std::vector<HWND> buttons;  // the actions', then the one that closes
};

void FillRun(HWND dialog, RunDialog& self) {
    const RunLogRunView& run = self.run;
    SetWindowTextW(dialog, Wide(run.caption).c_str());
    const HWND fields = GetDlgItem(dialog, IDC_RUN_FIELDS);
    ListView_SetExtendedListViewStyle(fields, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    std::vector<std::string> labels;
    for (const RunLogField& field : run.fields) {
        labels.push_back(field.label);
    }
    AddColumn(fields, 0, {}, WidestText(fields, labels));
    AddColumn(fields, 1, {}, 100);
    for (std::size_t i = 0; i < run.fields.size(); ++i) {
        SetCell(fields, static_cast<int>(i), 0, run.fields[i].label);
        SetCell(fields, static_cast<int>(i), 1, run.fields[i].value);
    }
    SetDlgItemTextW(dialog, IDC_RUN_POSTS_LABEL, Wide(run.postsLabel).c_str());
    const HWND posts = GetDlgItem(dialog, IDC_RUN_POSTS);
    ListView_SetExtendedListViewStyle(posts, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    for (std::size_t c = 0; c < run.postTitles.size(); ++c) {
        std::vector<std::string> column{run.postTitles[c]};
        for (const auto& post : run.posts) {
            column.push_back(c < post.size() ? post[c] : std::string());
        }
        AddColumn(posts, static_cast<int>(c), Wide(run.postTitles[c]), WidestText(posts, column));
    }
    for (std::size_t r = 0; r < run.posts.size(); ++r) {
        for (std::size_t c = 0; c < run.postTitles.size(); ++c) {
            SetCell(posts, static_cast<int>(r), static_cast<int>(c),
                    c < run.posts[r].size() ? run.posts[r][c] : std::string());
        }
    }
    // The actions' buttons stand before the one that closes, in the tab order too.
    const auto font = static_cast<WPARAM>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    HWND before = posts;
    for (std::size_t i = 0; i < run.actions.size(); ++i) {
        const HWND button =
            CreateWindowExW(0, L"BUTTON", Wide(run.actions[i].text).c_str(),
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, dialog,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_RUN_FIRST_ACTION + i)),
                            GetModuleHandleW(nullptr), nullptr);
        SendMessageW(button, WM_SETFONT, font, FALSE);
        EnableWindow(button, run.actions[i].enabled);
        SetWindowPos(button, before, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        self.buttons.push_back(button);
        before = button;
    }
    const HWND close = GetDlgItem(dialog, IDCANCEL);
    SetWindowTextW(close, Wide(run.closeText).c_str());
    self.buttons.push_back(close);
}

int ButtonWidth(HWND dialog, HWND button) {
    return std::max<int>(
        DialogUnits(dialog, kButtonWidth, 0).cx,
        TextWidth(button, WindowText(button)) + 2 * DialogUnits(dialog, kGap, 0).cx);
}

// The buttons at the foot, in rows within `width` that fill from the right,
// the last button at the right of the lowest row; the top of the highest.
int LayOutButtons(HWND dialog, const std::vector<HWND>& buttons, int right, int bottom, int width) {
    const SIZE gap = DialogUnits(dialog, kGap, kGap);
    const int height = DialogUnits(dialog, 0, kButtonHeight).cy;
    std::vector<std::vector<HWND>> rows(1);
    int used = 0;
    for (auto it = buttons.rbegin(); it != buttons.rend(); ++it) {
        const int needed = ButtonWidth(dialog, *it) + (rows.back().empty() ? 0 : gap.cx);
        if (!rows.back().empty() && used + needed > width) {
            rows.emplace_back();
            used = 0;
        }
        used += rows.back().empty() ? ButtonWidth(dialog, *it) : needed;
        rows.back().push_back(*it);
    }
    int top = bottom - height;
    for (const auto& row : rows) {
        int x = right;
        for (const HWND button : row) {
            const int buttonWidth = ButtonWidth(dialog, button);
            x -= buttonWidth;
            MoveWindow(button, x, top, buttonWidth, height, TRUE);
            x -= gap.cx;
        }
        top -= height + gap.cy;
    }
    return top + height + gap.cy;
}

void LayOutRun(HWND dialog, const RunDialog& self) {
    RECT client{};
    GetClientRect(dialog, &client);
    const SIZE margin = DialogUnits(dialog, kMargin, kMargin);
    const SIZE gap = DialogUnits(dialog, kGap, kGap);
    const SIZE line = DialogUnits(dialog, 0, 10);
    const int width = client.right - 2 * margin.cx;
    const int buttonTop = LayOutButtons(dialog, self.buttons, client.right - margin.cx,
                                        client.bottom - margin.cy, width);
    // The values take three fifths of the height left, the posts the rest.
    const int room = std::max<int>(0, buttonTop - 2 * margin.cy - line.cy - gap.cy);
    const int fieldsHeight = room * 3 / 5;
    const HWND fields = GetDlgItem(dialog, IDC_RUN_FIELDS);
    const HWND posts = GetDlgItem(dialog, IDC_RUN_POSTS);
    MoveWindow(fields, margin.cx, margin.cy, width, fieldsHeight, TRUE);
    const int labelTop = margin.cy + fieldsHeight + gap.cy;
    MoveWindow(GetDlgItem(dialog, IDC_RUN_POSTS_LABEL), margin.cx, labelTop, width, line.cy, TRUE);
    MoveWindow(posts, margin.cx, labelTop + line.cy, width, room - fieldsHeight, TRUE);
    FillLastColumn(fields);
}

// Wide enough for its buttons in one row, where the screen has room, and
// over the middle of its owner.
void FitRun(HWND dialog, const RunDialog& self) {
    int needed = 2 * DialogUnits(dialog, kMargin, 0).cx;
    for (const HWND button : self.buttons) {
        needed += ButtonWidth(dialog, button) + DialogUnits(dialog, kGap, 0).cx;
    }
    RECT client{}, outside{};
    GetClientRect(dialog, &client);
    GetWindowRect(dialog, &outside);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    const int frame = (outside.right - outside.left) - client.right;
    const int width = std::min<int>(std::max<int>(needed, client.right) + frame,
                                    monitor.rcWork.right - monitor.rcWork.left);
    SetWindowPos(dialog, nullptr, 0, 0, width, outside.bottom - outside.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CentreOver(dialog, GetWindow(dialog, GW_OWNER));
}

INT_PTR CALLBACK RunProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto& self = *reinterpret_cast<RunDialog*>(lParam);
        FillRun(dialog, self);
        FitRun(dialog, self);
        LayOutRun(dialog, self);
        return TRUE;  // the focus to the values
    }
    auto* self = reinterpret_cast<RunDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_SIZE:
            LayOutRun(dialog, *self);
            return TRUE;
        case WM_GETMINMAXINFO:
            MinimumSize(dialog, lParam, 240, 160);
            return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int actions = static_cast<int>(self->run.actions.size());
            if (id >= IDC_RUN_FIRST_ACTION && id < IDC_RUN_FIRST_ACTION + actions) {
                EndDialog(dialog, id);
            } else if (id == IDOK || id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

void ShowImportResultsDialog(HWND owner, const RunLogImportResults& results) {
    ResultsDialog self{results, {}};
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LOG_RESULTS), owner,
                    &ResultsProc, reinterpret_cast<LPARAM>(&self));
}

std::optional<int> ShowRunDialog(HWND owner, const RunLogRunView& run) {
    RunDialog self{run, {}};
    const INT_PTR chosen = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_LOG_RUN),
                                           owner, &RunProc, reinterpret_cast<LPARAM>(&self));
    const INT_PTR action = chosen - IDC_RUN_FIRST_ACTION;
    if (action < 0 || action >= static_cast<INT_PTR>(run.actions.size())) {
        return std::nullopt;
    }
    return run.actions[static_cast<std::size_t>(action)].id;
}

}  // namespace strivo
