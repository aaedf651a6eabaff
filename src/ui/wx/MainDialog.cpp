#include "ui/wx/MainDialog.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "ui/wx/AboutDialog.h"
#include "ui/wx/AppIcons.h"
#include "ui/wx/DialogLayout.h"
#include "ui/wx/FileChoosers.h"
#include "ui/wx/StatsDialog.h"
#include "ui/wx/SurfaceParts.h"
#include "ui/wx/WxText.h"

namespace strivo {

wxString MainDialogTitle(bool demo) {
    wxString title = Utf8("Strivo（Nike+） V2.0422");
    if (demo) {
        title += Utf8(" — 演示");
    }
    return title;
}

MainDialog::MainDialog(wxWindow* parent, MainDialogOptions options)
    : wxFrame(parent, wxID_ANY, MainDialogTitle(options.demo), wxDefaultPosition, wxDefaultSize,
              wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX),
      m_controller(*this, std::move(options)) {
    UseCompactControls();
    UseDialogFont(this);
    SetIcons(AppIcons());
    CreateMenuBar();
    // The panel gives the controls a dialog's background and its tab order.
    auto* panel = new wxPanel(this, wxID_ANY);
    panel->SetFont(GetFont());
    CreateControls(panel);
    // The menu bar lies above the client area: the window grows by its height alone.
    SetClientSize(ToPixels(this, {0, 0, 432, 299}).GetSize());

    Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
        if (event.GetId() == IDC_ABOUT) {
            ShowAbout();
        } else if (!m_controller.OnButton(event.GetId())) {
            event.Skip();
        }
    });
    // The right button, the menu key or Shift+F10, on rows or on none.
    m_list->Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent& event) {
        // From the keyboard: at the list's corner, for the rows selected.
        m_menuAt = wxPoint(0, 0);
        if (event.GetPosition() != wxDefaultPosition) {
            m_menuAt = m_list->ScreenToClient(event.GetPosition());
            m_list->SelectForMenu(event.GetPosition());
        }
        m_controller.OnListMenu(m_list->SelectedRows());
    });
    FindWindow(IDC_SITE_USER)->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        m_controller.OnSiteUserEdited();
        event.Skip();
    });
    FindWindow(IDC_SERVICE_USER)->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        m_controller.OnServiceUserEdited();
        event.Skip();
    });
    Bind(wxEVT_CHAR_HOOK, &MainDialog::OnCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { m_controller.Close(); });

    m_controller.Start();
    Centre();
}

MainDialog::~MainDialog() {
    // A run log still open goes with this window, after its controller,
    // which goes with this window's: it must not reach that controller.
    for (wxWindow* child : GetChildren()) {
        if (auto* runLog = dynamic_cast<RunLogFrame*>(child)) {
            runLog->Detach();
        }
    }
}

void MainDialog::CreateMenuBar() {
    const int first = WindowController::kFirstMenuId;
    int last = first;
    SetMenuBar(MakeMenuBar(m_controller.MenuBar(), last));
    // wx asks as a menu opens and before a key acts; the controller asks again.
    Bind(
        wxEVT_MENU, [this](wxCommandEvent& event) { m_controller.OnMenu(event.GetId()); }, first,
        last);
    Bind(
        wxEVT_UPDATE_UI,
        [this](wxUpdateUIEvent& event) { event.Enable(m_controller.MenuEnabled(event.GetId())); },
        first, last);
}

void MainDialog::CreateControls(wxWindow* panel) {
    const auto button = [panel](int id, const char* label, long style = 0) {
        return new wxButton(panel, id, Utf8(label), {}, {}, style);
    };
    const auto field = [panel](int id, long style = 0) {
        return new wxTextCtrl(panel, id, {}, {}, {}, wxTE_LEFT | style);
    };
    const auto label = [panel](const char* text) {
        return new wxStaticText(panel, wxID_ANY, Utf8(text));
    };
    // Created in tab order.
    wxButton* signIn = button(IDC_SERVICE_LOGIN, "登陆Nike+");
    wxTextCtrl* serviceUser = field(IDC_SERVICE_USER);
    wxTextCtrl* servicePassword = field(IDC_SERVICE_PASSWORD, wxTE_PASSWORD);
    wxTextCtrl* siteUser = field(IDC_SITE_USER);
    wxTextCtrl* sitePassword = field(IDC_SITE_PASSWORD, wxTE_PASSWORD);
    wxButton* sync = button(IDC_SYNC, "同步Nike+数据到Strivo");
    wxButton* refresh = button(IDC_REFRESH, "刷新", wxBU_EXACTFIT);
    wxButton* exportButton = button(IDC_EXPORT, "导出", wxBU_EXACTFIT);
    m_list = new RunListView(panel, IDC_RUN_TABLE, {}, {}, m_controller.list(),
                             [this](std::size_t row) { return m_controller.RowTip(row); });
    wxButton* visitSite = button(IDC_VISIT_SITE, "访问Kelvora网站", wxBORDER_NONE);
    wxButton* about = button(IDC_ABOUT, "关于...", wxBORDER_NONE);
    auto* serviceGroup = new wxStaticBox(panel, wxID_ANY, Utf8("# 1，Nike+"));
    wxStaticText* serviceUserLabel = label("用户名： ");
    wxStaticText* servicePasswordLabel = label("密  码： ");
    wxStaticText* dataLabel = label("Nike+ 数据");
    auto* siteGroup = new wxStaticBox(panel, wxID_ANY, Utf8("# 2，Strivo（Kelvora论坛）"));
    auto* status = new wxStaticText(panel, IDC_STATUS, Utf8("等待"), {}, {}, wxST_NO_AUTORESIZE);
    wxStaticText* siteUserLabel = label("用户名： ");
    wxStaticText* sitePasswordLabel = label("密  码： ");
    auto* summary = new wxStaticText(panel, IDC_SUMMARY, {}, {}, {},
                                     wxALIGN_RIGHT | wxST_NO_AUTORESIZE | wxBORDER_STATIC);

    // The group boxes are created after the controls inside them (their tab
    // order); keep them beneath those controls.
    serviceGroup->Lower();
    siteGroup->Lower();

    const std::pair<wxWindow*, DialogRect> places[] = {
        {signIn, {135, 69, 50, 14}},          {serviceUser, {57, 29, 127, 14}},
        {servicePassword, {57, 47, 127, 14}}, {siteUser, {277, 29, 127, 14}},
        {sitePassword, {277, 47, 127, 14}},   {sync, {304, 67, 100, 14}},
        {refresh, {53, 101, 23, 14}},         {exportButton, {79, 101, 23, 14}},
        {visitSite, {293, 278, 72, 14}},      {about, {375, 278, 50, 14}},
        {serviceUserLabel, {21, 29, 33, 8}},  {servicePasswordLabel, {21, 47, 33, 8}},
        {dataLabel, {7, 103, 41, 8}},         {status, {7, 284, 247, 8}},
        {siteUserLabel, {241, 29, 33, 8}},    {sitePasswordLabel, {241, 47, 33, 8}},
        {summary, {116, 101, 308, 11}}};
    for (const auto& [control, rect] : places) {
        PlaceAt(control, rect);
    }
    m_list->SetSize(ToPixels(panel, {7, 116, 418, 157}));
    serviceGroup->SetSize(ToPixels(panel, {7, 7, 195, 86}));
    siteGroup->SetSize(ToPixels(panel, {219, 7, 205, 86}));
    DrawFrame(summary);
    LevelWith(serviceUserLabel, serviceUser);
    LevelWith(servicePasswordLabel, servicePassword);
    LevelWith(siteUserLabel, siteUser);
    LevelWith(sitePasswordLabel, sitePassword);
    LevelWith(dataLabel, refresh);
}

std::string MainDialog::Text(int id) {
    return FromWx(static_cast<wxTextCtrl*>(FindWindow(id))->GetValue());
}

void MainDialog::SetText(int id, const std::string& text) {
    wxWindow* control = FindWindow(id);
    if (auto* field = dynamic_cast<wxTextCtrl*>(control)) {
        field->ChangeValue(ToWx(text));
    } else {
        control->SetLabel(ToWx(text));
        control->UnsetToolTip();
    }
}

int MainDialog::TextWidth(int id, const std::string& text) {
    return FindWindow(id)->GetTextExtent(ToWx(text)).x;
}

void MainDialog::SetToolTip(int id, const std::string& text) {
    wxWindow* control = FindWindow(id);
    text.empty() ? control->UnsetToolTip() : control->SetToolTip(ToWx(text));
}

std::optional<std::size_t> MainDialog::ShowListMenu(const std::vector<MenuItem>& items) {
    return PopUpMenu(m_list, items, m_menuAt);
}

void MainDialog::ShowMessage(const std::string& text) {
    ShowMessageBox(this, text);
}

bool MainDialog::Confirm(const std::string& text) {
    return AskYesNo(this, text);
}

void MainDialog::ShowAbout() {
    AboutDialog(this).ShowModal();
}

void MainDialog::ShowAppMessage(const std::string& text) {
    wxMessageDialog box(this, ToWx(text), wxTheApp ? wxTheApp->GetAppDisplayName() : wxString(),
                        wxOK | wxICON_EXCLAMATION);
    box.SetOKLabel(Utf8("确定"));
    box.ShowModal();
}

std::optional<ChosenFile> MainDialog::ChooseCsvFile() {
    return choosers::CsvFile(this);
}

std::optional<ChosenFile> MainDialog::ChooseTcxFile() {
    return choosers::TcxFile(this);
}

std::vector<std::filesystem::path> MainDialog::ChooseRunFiles() {
    return choosers::RunFiles(this);
}

std::optional<ChosenFile> MainDialog::ChooseFitFolder() {
    return choosers::FitFolder(this);
}

RunLogSurface* MainDialog::OpenRunLog(RunLogController& controller) {
    return new RunLogFrame(this, controller);
}

void MainDialog::ShowStats(StatsChart& chart) {
    StatsDialog(this, chart).ShowModal();
}

void MainDialog::ShowSyncRecord(const std::string& text) {
    wxDialog box(this, wxID_ANY, Utf8("同步记录"), wxDefaultPosition, wxDefaultSize,
                 wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    auto* lines =
        new wxTextCtrl(&box, wxID_ANY, ToWx(text), wxDefaultPosition, FromDIP(wxSize(560, 300)),
                       wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(lines, 1, wxEXPAND | wxALL, FromDIP(8));
    auto* ok = new wxButton(&box, wxID_OK, Utf8("确定"));
    sizer->Add(ok, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(8));
    box.SetSizerAndFit(sizer);
    ok->SetDefault();
    ok->SetFocus();
    box.ShowModal();
}

bool MainDialog::OpenBrowser(const std::string& url) {
    const wxLogNull noEnglishBox;  // the status line says it, in Chinese
    return wxLaunchDefaultBrowser(ToWx(url));
}

void MainDialog::CloseWindow() {
    Destroy();
}

void MainDialog::OnCharHook(wxKeyEvent& event) {
    // Enter and Escape never act in this window: they press no button and do
    // not close it. Everything else goes on as usual.
    switch (event.GetKeyCode()) {
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER:
        case WXK_ESCAPE:
            return;
        default:
            event.Skip();
    }
}

}  // namespace strivo
