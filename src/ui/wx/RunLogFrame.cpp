#include "ui/wx/RunLogFrame.h"

#include <wx/choice.h>
#include <wx/display.h>
#include <wx/dnd.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/wrapsizer.h>

#include <algorithm>

#include "ui/wx/AppIcons.h"
#include "ui/wx/FileChoosers.h"
#include "ui/wx/RunListView.h"
#include "ui/wx/RunLogDialogs.h"
#include "ui/wx/RunLogList.h"
#include "ui/wx/SurfaceParts.h"
#include "ui/wx/WxText.h"

namespace strivo {
namespace {

// Files, folders and archives dropped on the window.
class FileDrop : public wxFileDropTarget {
public:
    explicit FileDrop(RunLogFrame& frame) : m_frame(frame) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override {
        // Not while a dialog of its own is open over it.
        if (!m_frame.IsEnabled()) {
            return false;
        }
        m_frame.OnFilesDropped(files);
        return true;
    }

private:
    RunLogFrame& m_frame;
};

// `rect` moved, and shrunk where it must, into the work area of the screen
// that holds most of it, or of the first screen when none holds any.
wxRect OnAScreen(wxRect rect) {
    int best = 0;
    long bestArea = 0;
    for (unsigned i = 0; i < wxDisplay::GetCount(); ++i) {
        const wxRect common = wxDisplay(i).GetClientArea().Intersect(rect);
        const long area = static_cast<long>(common.width) * common.height;
        if (area > bestArea) {
            best = static_cast<int>(i);
            bestArea = area;
        }
    }
    const wxRect screen = wxDisplay(static_cast<unsigned>(best)).GetClientArea();
    rect.width = std::min(rect.width, screen.width);
    rect.height = std::min(rect.height, screen.height);
    rect.x = std::clamp(rect.x, screen.x, screen.GetRight() + 1 - rect.width);
    rect.y = std::clamp(rect.y, screen.y, screen.GetBottom() + 1 - rect.height);
    return rect;
}

}  // namespace

RunLogFrame::RunLogFrame(wxWindow* parent, RunLogController& controller)
    : wxFrame(parent, wxID_ANY, wxEmptyString), m_controller(&controller) {
    SetIcons(AppIcons());
    CreateMenuBar();
    CreateControls();
    BindList();
    CreateStatusBar(1);
    SetStatusBarPane(-1);  // the menus' items have no help to show there
    SetMinSize(FromDIP(wxSize(480, 320)));
    SetSize(FromDIP(wxSize(820, 560)));
    CentreOnParent();
    m_normal = GetRect();

    const auto keepNormal = [this](wxEvent& event) {
        if (!IsMaximized() && !IsIconized()) {
            m_normal = GetRect();
        }
        event.Skip();
    };
    Bind(wxEVT_SIZE, keepNormal);
    Bind(wxEVT_MOVE, keepNormal);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
        // The controller closes it once an import has ended.
        m_controller != nullptr ? m_controller->Close() : static_cast<void>(Destroy());
    });
    SetDropTarget(new FileDrop(*this));
    m_list->SetDropTarget(new FileDrop(*this));
}

void RunLogFrame::CreateMenuBar() {
    const int first = RunLogController::kFirstMenuId;
    int last = first;
    SetMenuBar(MakeMenuBar(m_controller->MenuBar(), last));
    // wx asks as a menu opens and before a key acts; the controller asks again.
    Bind(
        wxEVT_MENU,
        [this](wxCommandEvent& event) {
            if (m_controller != nullptr) {
                m_controller->OnMenu(event.GetId());
            }
        },
        first, last);
    Bind(
        wxEVT_UPDATE_UI,
        [this](wxUpdateUIEvent& event) {
            event.Enable(m_controller != nullptr && m_controller->MenuEnabled(event.GetId()));
        },
        first, last);
}

void RunLogFrame::CreateControls() {
    m_panel = new wxPanel(this);
    const int gap = FromDIP(8);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    m_strip = new wxWrapSizer(wxHORIZONTAL);
    sizer->Add(m_strip, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, gap);

    auto* filters = new wxBoxSizer(wxHORIZONTAL);
    for (const RunLogFilter which : {RunLogFilter::Year, RunLogFilter::State}) {
        const auto i = static_cast<std::size_t>(which);
        m_filterLabels[i] = new wxStaticText(m_panel, wxID_ANY, wxEmptyString);
        m_filters[i] = new wxChoice(m_panel, wxID_ANY);
        m_filters[i]->Bind(wxEVT_CHOICE, [this, which](wxCommandEvent& event) {
            if (m_controller != nullptr && event.GetSelection() >= 0) {
                m_controller->OnChoice(which, static_cast<std::size_t>(event.GetSelection()));
            }
        });
        filters->Add(m_filterLabels[i], 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, gap / 2);
        filters->Add(m_filters[i], 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 2 * gap);
    }
    sizer->Add(filters, 0, wxEXPAND | wxALL, gap);

    m_list = new RunLogList(m_panel, *m_controller);
    sizer->Add(m_list, 1, wxEXPAND | wxLEFT | wxRIGHT, gap);
    m_footer = new wxStaticText(m_panel, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    sizer->Add(m_footer, 0, wxEXPAND | wxALL, gap);
    m_panel->SetSizer(sizer);
}

void RunLogFrame::BindList() {
    m_list->Bind(wxEVT_LIST_COL_CLICK, [this](wxListEvent& event) {
        if (m_controller != nullptr && event.GetColumn() >= 0) {
            m_controller->OnHeaderClicked(static_cast<std::size_t>(event.GetColumn()));
        }
    });
    m_list->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent& event) {
        if (m_controller != nullptr && event.GetIndex() >= 0) {
            m_controller->OnRowActivated(static_cast<std::size_t>(event.GetIndex()));
        }
    });
    m_list->Bind(wxEVT_LIST_KEY_DOWN, [this](wxListEvent& event) {
        const int key = event.GetKeyCode();
        const bool del = key == WXK_DELETE || key == WXK_NUMPAD_DELETE;
        if (!del || m_controller == nullptr || !m_controller->OnKey(RunLogKey::Delete)) {
            event.Skip();
        }
    });
    // A virtual list tells of some changes of its selection and not of
    // others (a range, all at once): the mouse and the keys have it looked at
    // again once they have done their work.
    const auto changed = [this](wxEvent& event) {
        PostSelectionCheck();
        event.Skip();
    };
    m_list->Bind(wxEVT_LIST_ITEM_SELECTED, changed);
    m_list->Bind(wxEVT_LIST_ITEM_DESELECTED, changed);
    for (wxWindow* child : m_list->GetChildren()) {
        child->Bind(wxEVT_LEFT_UP, changed);
        child->Bind(wxEVT_KEY_UP, changed);
    }
    // The right button, the menu key or Shift+F10, on rows or on none.
    m_list->Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent& event) {
        if (m_controller == nullptr) {
            return;
        }
        // From the keyboard: under the focused row where it is in sight.
        m_menuAt = wxPoint(0, 0);
        if (event.GetPosition() != wxDefaultPosition) {
            m_menuAt = m_list->ScreenToClient(event.GetPosition());
            SelectRowForMenu(*m_list, event.GetPosition());
        } else if (const long row = m_list->GetFocusedItem(); row >= 0) {
            wxRect rect;
            if (m_list->IsVisible(row) && m_list->GetItemRect(row, rect)) {
                m_menuAt = rect.GetBottomLeft();
            }
        }
        CheckSelection();
        m_controller->OnContextMenu();
    });
}

void RunLogFrame::PostSelectionCheck() {
    if (!m_selectionCheckPosted) {
        m_selectionCheckPosted = true;
        CallAfter([this] {
            m_selectionCheckPosted = false;
            CheckSelection();
        });
    }
}

void RunLogFrame::CheckSelection() {
    const SelectionMark now{m_list->GetSelectedItemCount(), m_list->GetFirstSelected(),
                            m_list->GetFocusedItem()};
    if (now != m_selection) {
        m_selection = now;
        if (m_controller != nullptr) {
            m_controller->OnSelectionChanged();
        }
    }
}

void RunLogFrame::MarkSelection() {
    m_selection = {m_list->GetSelectedItemCount(), m_list->GetFirstSelected(),
                   m_list->GetFocusedItem()};
}

void RunLogFrame::SetTitle(const std::string& text) {
    wxFrame::SetTitle(ToWx(text));
}

void RunLogFrame::SetColumns(const std::vector<RunLogColumn>& columns) {
    m_list->SetColumns(columns);
}

void RunLogFrame::ShowRows(std::size_t count) {
    // The selection goes first: a shorter count would keep what lies below it.
    m_list->ClearSelection();
    m_list->SetItemCount(static_cast<long>(count));
    m_list->RowsChanged();
    MarkSelection();
}

void RunLogFrame::RefreshRows() {
    m_list->RowsChanged();
}

void RunLogFrame::SetSortMark(std::size_t column, bool ascending) {
    m_list->ShowSortIndicator(static_cast<int>(column), ascending);
}

std::vector<std::size_t> RunLogFrame::SelectedRows() {
    return m_list->SelectedRows();
}

void RunLogFrame::SelectRows(const std::vector<std::size_t>& rows) {
    m_list->SelectRows(rows);
    MarkSelection();
}

void RunLogFrame::SelectAllRows() {
    if (m_list->GetItemCount() > 0) {
        m_list->SetItemState(-1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
    MarkSelection();
}

wxChoice* RunLogFrame::filter(RunLogFilter which) const {
    return m_filters[static_cast<std::size_t>(which)];
}

void RunLogFrame::SetChoices(RunLogFilter which, const RunLogChoices& choices) {
    const auto i = static_cast<std::size_t>(which);
    m_filterLabels[i]->SetLabel(ToWx(choices.label));
    wxArrayString texts;
    for (const std::string& text : choices.texts) {
        texts.push_back(ToWx(text));
    }
    if (m_filters[i]->GetStrings() != texts) {
        m_filters[i]->Set(texts);
    }
    m_filters[i]->SetSelection(choices.chosen < texts.size() ? static_cast<int>(choices.chosen)
                                                             : wxNOT_FOUND);
    m_panel->Layout();
}

void RunLogFrame::SetStrip(const std::vector<std::string>& figures) {
    if (figures.size() != m_figures.size()) {
        m_strip->Clear(/*delete_windows=*/true);
        m_figures.clear();
        for (std::size_t i = 0; i < figures.size(); ++i) {
            m_figures.push_back(new wxStaticText(m_panel, wxID_ANY, wxEmptyString));
            auto* figure = new wxBoxSizer(wxHORIZONTAL);  // a wide gap after it, a narrow one below
            figure->Add(m_figures.back(), 0, wxRIGHT, FromDIP(24));
            m_strip->Add(figure, 0, wxBOTTOM, FromDIP(4));
        }
    }
    for (std::size_t i = 0; i < figures.size(); ++i) {
        m_figures[i]->SetLabel(ToWx(figures[i]));
    }
    m_panel->Layout();
}

void RunLogFrame::SetFooter(const std::string& text) {
    m_footer->SetLabel(ToWx(text));
    m_footer->SetToolTip(ToWx(text));
}

void RunLogFrame::SetStatus(const std::string& text) {
    SetStatusText(ToWx(text), 0);
}

std::optional<std::size_t> RunLogFrame::ShowContextMenu(const std::vector<MenuItem>& items) {
    return PopUpMenu(m_list, items, m_menuAt);
}

void RunLogFrame::ShowImportResults(const RunLogImportResults& results) {
    ImportResultsDialog(this, results).ShowModal();
}

std::optional<int> RunLogFrame::ShowRun(const RunLogRunView& run) {
    RunViewDialog dialog(this, run);
    return RunViewDialog::Chosen(dialog.ShowModal());
}

void RunLogFrame::ShowMessage(const std::string& text) {
    ShowMessageBox(this, text);
}

bool RunLogFrame::Confirm(const std::string& text) {
    return AskYesNo(this, text);
}

std::vector<std::filesystem::path> RunLogFrame::ChooseRunFiles() {
    return choosers::RunFiles(this);
}

std::optional<std::filesystem::path> RunLogFrame::ChooseRunFolder() {
    return choosers::RunFolder(this);
}

std::optional<ChosenFile> RunLogFrame::ChooseCsvFile() {
    return choosers::CsvFile(this);
}

std::optional<ChosenFile> RunLogFrame::ChooseTcxFile() {
    return choosers::TcxFile(this);
}

std::optional<ChosenFile> RunLogFrame::ChooseFitFolder() {
    return choosers::FitFolder(this);
}

WindowPlace RunLogFrame::Place() {
    const bool maximized = IsMaximized();
    const wxRect rect = maximized || IsIconized() ? m_normal : GetRect();
    return {rect.x, rect.y, rect.width, rect.height, maximized};
}

void RunLogFrame::SetPlace(const WindowPlace& place) {
    if (place.width <= 0 || place.height <= 0) {
        return;  // none kept: the size it opens with, over its owner
    }
    const wxSize least = GetMinSize();
    m_normal = OnAScreen(
        {place.x, place.y, std::max(place.width, least.x), std::max(place.height, least.y)});
    SetSize(m_normal);
    if (place.maximized) {
        Maximize();
    }
}

void RunLogFrame::Raise() {
    Show();
    if (IsIconized()) {
        Iconize(false);
    }
    wxFrame::Raise();
    m_list->SetFocus();
}

void RunLogFrame::Post(std::function<void()> call) {
    // Any thread. A call that comes after the window closed finds no controller.
    CallAfter([this, call = std::move(call)] {
        if (m_controller != nullptr) {
            call();
        }
    });
}

void RunLogFrame::CloseWindow() {
    Detach();
    Destroy();
}

void RunLogFrame::OnFilesDropped(const wxArrayString& files) {
    std::vector<std::filesystem::path> paths;
    for (const wxString& file : files) {
        paths.emplace_back(file.ToUTF8().data());
    }
    // Later, not within the drop: the file manager that dragged them waits
    // for its answer, and the import may ask or tell something first.
    CallAfter([this, paths = std::move(paths)]() mutable {
        if (m_controller != nullptr) {
            m_controller->OnFilesDropped(std::move(paths));
        }
    });
}

void RunLogFrame::Detach() {
    m_controller = nullptr;
    m_list->Detach();
}

}  // namespace strivo
