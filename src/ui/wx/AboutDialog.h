#pragma once

#include <wx/dialog.h>

namespace strivo {

// The about box: the product's name, a contact line and an OK button.
class AboutDialog : public wxDialog {
public:
    explicit AboutDialog(wxWindow* parent);
};

}  // namespace strivo
