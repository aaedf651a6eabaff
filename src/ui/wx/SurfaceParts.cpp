#include "ui/wx/SurfaceParts.h"

#include <wx/msgdlg.h>

#include <algorithm>

#include "ui/wx/WxText.h"

namespace strivo {

wxMenuBar* MakeMenuBar(const std::vector<Menu>& menus, int& last) {
    auto* bar = new wxMenuBar();
    for (const Menu& menu : menus) {
        auto* items = new wxMenu();
        for (const MenuItem& item : menu.items) {
            if (item.text.empty()) {
                items->AppendSeparator();
                continue;
            }
            wxString text = ToWx(item.text);
            if (item.ctrlKey != 0) {
                text += wxString::Format("\tCtrl+%c", item.ctrlKey);
            }
            items->Append(item.id, text)->Enable(item.enabled);
            last = std::max(last, item.id);
        }
        bar->Append(items, ToWx(menu.title));
    }
    return bar;
}

std::optional<std::size_t> PopUpMenu(wxWindow* window, const std::vector<MenuItem>& items,
                                     const wxPoint& at) {
    wxMenu menu;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].text.empty()) {
            menu.AppendSeparator();
        } else {
            menu.Append(static_cast<int>(i) + 1, ToWx(items[i].text))->Enable(items[i].enabled);
        }
    }
    const int chosen = window->GetPopupMenuSelectionFromUser(menu, at);
    return chosen > 0 ? std::optional<std::size_t>(chosen - 1) : std::nullopt;
}

void ShowMessageBox(wxWindow* parent, const std::string& text) {
    wxMessageDialog box(parent, ToWx(text), wxEmptyString, wxOK | wxICON_NONE);
    box.SetOKLabel(Utf8("确定"));  // as the About box: the window speaks Chinese
    box.ShowModal();
}

bool AskYesNo(wxWindow* parent, const std::string& text) {
    wxMessageDialog box(parent, ToWx(text), wxEmptyString, wxYES_NO | wxNO_DEFAULT | wxICON_NONE);
    box.SetYesNoLabels(Utf8("是"), Utf8("否"));
    return box.ShowModal() == wxID_YES;
}

}  // namespace strivo
