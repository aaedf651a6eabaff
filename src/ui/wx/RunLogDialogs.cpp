#include "ui/wx/RunLogDialogs.h"

#include <wx/button.h>
#include <wx/display.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>

#include "ui/wx/WxText.h"

namespace strivo {
namespace {

wxListCtrl* ReportList(wxWindow* parent, const std::vector<std::string>& titles) {
    auto* list = new wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxLC_REPORT | wxLC_SINGLE_SEL | wxLC_HRULES | wxBORDER_THEME);
    for (const std::string& title : titles) {
        list->AppendColumn(ToWx(title));
    }
    return list;
}

// Each column as wide as its title and its widest text, the last one
// taking what is left of `width`; the width they take together.
int FitColumns(wxListCtrl* list, const std::vector<std::string>& titles, int width) {
    const int count = list->GetColumnCount();
    const int margin = list->FromDIP(16);
    int used = 0;
    for (int column = 0; column < count; ++column) {
        int widest = list->GetTextExtent(ToWx(titles[static_cast<std::size_t>(column)])).x;
        for (long row = 0; row < list->GetItemCount(); ++row) {
            widest = std::max(widest, list->GetTextExtent(list->GetItemText(row, column)).x);
        }
        list->SetColumnWidth(column, widest + margin);
        used += widest + margin;
    }
    if (count > 0 && used < width) {
        list->SetColumnWidth(count - 1, list->GetColumnWidth(count - 1) + width - used);
    }
    return used;
}

// The pointer resting on a row of `list` shows its texts whole, one a line:
// a long reason may not fit even a wide window.
void ShowRowsWholeOnHover(wxListCtrl* list) {
    for (wxWindow* child : list->GetChildren()) {
        if (child->GetName() == wxString("wxlistctrlcolumntitles")) {
            continue;
        }
        child->Bind(wxEVT_MOTION, [list, child, shown = -2L](wxMouseEvent& event) mutable {
            event.Skip();
            int flags = 0;
            const long row = list->HitTest(event.GetPosition(), flags);
            if (row == shown) {
                return;
            }
            shown = row;
            wxString tip;
            for (int column = 0; row >= 0 && column < list->GetColumnCount(); ++column) {
                tip += (column > 0 ? "\n" : "") + list->GetItemText(row, column);
            }
            tip.empty() ? child->UnsetToolTip() : child->SetToolTip(tip);
        });
    }
}

}  // namespace

ImportResultsDialog::ImportResultsDialog(wxWindow* parent, const RunLogImportResults& results)
    : wxDialog(parent, wxID_ANY, ToWx(results.caption), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    auto* summary = new wxStaticText(this, wxID_ANY, ToWx(results.summary));
    m_files = ReportList(this, {results.fileTitle, results.resultTitle});
    for (const RunLogFileResult& file : results.files) {
        const long row = m_files->InsertItem(m_files->GetItemCount(), ToWx(file.file));
        m_files->SetItem(row, 1, ToWx(file.result));
        if (!file.ok) {
            m_files->SetItemTextColour(row, wxColour(176, 0, 0));
        }
    }
    auto* ok = new wxButton(this, wxID_OK, Utf8("确定"));
    const int gap = FromDIP(8);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(summary, 0, wxEXPAND | wxALL, gap);
    sizer->Add(m_files, 1, wxEXPAND | wxLEFT | wxRIGHT, gap);
    sizer->Add(ok, 0, wxALIGN_RIGHT | wxALL, gap);
    SetSizer(sizer);
    // As wide as the lines need, within the screen.
    const std::vector<std::string> titles{results.fileTitle, results.resultTitle};
    const int needed = FitColumns(m_files, titles, 0) + 2 * gap + FromDIP(32);
    const int screen = wxDisplay(parent != nullptr ? parent : this).GetClientArea().width;
    SetSize(std::clamp(needed, FromDIP(640), std::max(FromDIP(640), screen * 9 / 10)),
            FromDIP(400));
    summary->Wrap(GetClientSize().x - 2 * gap);
    Layout();
    FitColumns(m_files, titles, m_files->GetClientSize().x);
    ShowRowsWholeOnHover(m_files);
    ok->SetDefault();
    ok->SetFocus();
    CentreOnParent();
}

RunViewDialog::RunViewDialog(wxWindow* parent, const RunLogRunView& run)
    : wxDialog(parent, wxID_ANY, ToWx(run.caption), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    const int gap = FromDIP(8);
    auto* fields = new wxFlexGridSizer(2, wxSize(2 * gap, gap / 2));
    fields->AddGrowableCol(1);
    for (const RunLogField& field : run.fields) {
        fields->Add(new wxStaticText(this, wxID_ANY, ToWx(field.label)));
        fields->Add(new wxStaticText(this, wxID_ANY, ToWx(field.value)), 0, wxEXPAND);
    }
    auto* postsLabel = new wxStaticText(this, wxID_ANY, ToWx(run.postsLabel));
    m_posts = ReportList(this, run.postTitles);
    const std::size_t columns = run.postTitles.size();
    for (const std::vector<std::string>& post : columns > 0 ? run.posts : decltype(run.posts)()) {
        const long row =
            m_posts->InsertItem(m_posts->GetItemCount(), post.empty() ? wxString() : ToWx(post[0]));
        for (std::size_t cell = 1; cell < std::min(post.size(), columns); ++cell) {
            m_posts->SetItem(row, static_cast<long>(cell), ToWx(post[cell]));
        }
    }
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    for (const MenuItem& action : run.actions) {
        if (action.text.empty()) {
            continue;
        }
        auto* button = new wxButton(this, action.id, ToWx(action.text));
        button->Enable(action.enabled);
        buttons->Add(button, 0, wxRIGHT, gap);
    }
    buttons->AddStretchSpacer();
    auto* close = new wxButton(this, wxID_CANCEL, ToWx(run.closeText));
    buttons->Add(close);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
        event.GetId() == wxID_CANCEL ? event.Skip() : EndModal(event.GetId());
    });

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(fields, 0, wxEXPAND | wxALL, gap);
    sizer->Add(postsLabel, 0, wxLEFT | wxRIGHT | wxTOP, gap);
    sizer->Add(m_posts, 1, wxEXPAND | wxALL, gap);
    sizer->Add(buttons, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, gap);
    SetSizer(sizer);
    const wxSize best = GetBestSize();
    SetSize(wxSize(std::max(best.x, FromDIP(560)), best.y + FromDIP(120)));
    FitColumns(m_posts, run.postTitles, m_posts->GetClientSize().x);
    ShowRowsWholeOnHover(m_posts);
    close->SetDefault();
    close->SetFocus();
    CentreOnParent();
}

std::optional<int> RunViewDialog::Chosen(int answer) {
    return answer == wxID_CANCEL ? std::nullopt : std::optional(answer);
}

}  // namespace strivo
