#include "ui/wx/AboutDialog.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "ui/wx/AppIcons.h"
#include "ui/wx/DialogLayout.h"
#include "ui/wx/WxText.h"

namespace strivo {

AboutDialog::AboutDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, Utf8("关于"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    UseDialogFont(this);
    SetClientSize(ToPixels(this, {0, 0, 235, 67}).GetSize());

    auto* icon = new wxStaticBitmap(this, wxID_ANY, wxBitmap(AppIcon(32)));
    PlaceAt(icon, {11, 17, 21, 21});
    PlaceAt(new wxStaticText(this, wxID_ANY, Utf8("Strivo（Nike+版）"), wxDefaultPosition,
                             wxDefaultSize, wxST_NO_AUTORESIZE),
            {40, 10, 128, 8});
    PlaceAt(new wxStaticText(this, wxID_ANY, Utf8("联系我们：strivo@users.example")),
            {40, 25, 158, 8});
    auto* ok = new wxButton(this, wxID_OK, Utf8("确定"));
    ok->SetDefault();
    PlaceAt(ok, {178, 7, 50, 14});
    PlaceAt(new wxStaticText(this, wxID_ANY, Utf8("无需安装，免费使用。")), {40, 52, 119, 8});
    ok->SetFocus();
    CentreOnParent();
}

}  // namespace strivo
