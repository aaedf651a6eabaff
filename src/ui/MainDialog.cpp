#include "ui/MainDialog.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <system_error>

#include "export/CsvExport.h"
#include "site/PostedRuns.h"
#include "ui/AboutDialog.h"
#include "ui/AppIcons.h"
#include "ui/DialogLayout.h"
#include "ui/RunListView.h"
#include "ui/WxText.h"

namespace strivo {
namespace {

// Queued by the table's listener: the rows changed, the count is the int.
constexpr int kTableChangedId = 1;

}  // namespace

wxString MainDialogTitle(bool demo) {
    wxString title = Utf8("Strivo（Nike+） V2.0422");
    if (demo) {
        title += Utf8(" — 演示");
    }
    return title;
}

DialogServices DesktopServices() {
    DialogServices services;
    services.showMessage = [](wxWindow* owner, const wxString& text) {
        wxMessageDialog(owner, text, wxEmptyString, wxOK | wxICON_NONE).ShowModal();
    };
    services.showAppMessage = [](const wxString& text) {
        wxMessageBox(text, wxTheApp ? wxTheApp->GetAppDisplayName() : wxString(),
                     wxOK | wxICON_EXCLAMATION);
    };
    services.chooseCsvFile = [](wxWindow* owner) -> std::optional<wxString> {
        // No overwrite question: an existing file is replaced.
        wxFileDialog dialog(owner, Utf8("导出数据"), wxEmptyString, wxEmptyString,
                            Utf8("Excel文件(*.csv)|*.csv"), wxFD_SAVE);
        FitOnScreenWhenShown(&dialog);
        if (dialog.ShowModal() != wxID_OK) {
            return std::nullopt;
        }
        wxString path = dialog.GetPath();
        if (wxFileName(path).GetExt().empty()) {
            path += ".csv";  // the default extension
        }
        return path;
    };
    services.openBrowser = [](const wxString& url) {
        const wxLogNull noEnglishBox;  // the status line says it, in Chinese
        return wxLaunchDefaultBrowser(url);
    };
    return services;
}

MainDialog::MainDialog(wxWindow* parent, MainDialogOptions options, DialogServices services)
    : wxDialog(parent, wxID_ANY, MainDialogTitle(options.demo), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX),
      m_options(std::move(options)),
      m_services(std::move(services)) {
    UseCompactControls();
    UseDialogFont(this);
    SetIcons(AppIcons());
    CreateControls();
    SetClientSize(ToPixels(this, {0, 0, 432, 299}).GetSize());

    Bind(wxEVT_BUTTON, &MainDialog::OnServiceLogin, this, IDC_SERVICE_LOGIN);
    Bind(wxEVT_BUTTON, &MainDialog::OnServiceLogin, this, IDC_REFRESH);
    Bind(wxEVT_BUTTON, &MainDialog::OnSync, this, IDC_SYNC);
    Bind(wxEVT_BUTTON, &MainDialog::OnExport, this, IDC_EXPORT);
    Bind(wxEVT_BUTTON, &MainDialog::OnVisitSite, this, IDC_VISIT_SITE);
    Bind(wxEVT_BUTTON, &MainDialog::OnAbout, this, IDC_ABOUT);
    Bind(wxEVT_THREAD, &MainDialog::OnWorkerReport, this, WM_SERVICE_LOGIN_DONE, WM_SYNC_PROGRESS);
    Bind(wxEVT_THREAD, &MainDialog::OnTableChanged, this, kTableChangedId);
    Bind(wxEVT_CHAR_HOOK, &MainDialog::OnCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &MainDialog::OnClose, this);
    SetEscapeId(wxID_NONE);
    SetAffirmativeId(wxID_NONE);

    // Called on whichever thread changed the table: only queue an event.
    m_tableListener = m_runTable->AddListener([this](std::size_t rowCount) {
        auto* event = new wxThreadEvent(wxEVT_THREAD, kTableChangedId);
        event->SetExtraLong(static_cast<long>(rowCount));
        wxQueueEvent(this, event);
    });

#ifdef __WXMSW__
    // GTK gives a dialog no system menu; where there is one, it opens the about box too.
    if (wxMenu* systemMenu = MSWGetSystemMenu()) {
        systemMenu->AppendSeparator();
        systemMenu->Append(IDM_ABOUTBOX, Utf8("关于 Strivo(&A)..."));
        Bind(wxEVT_MENU, &MainDialog::OnAbout, this, IDM_ABOUTBOX);
    }
#endif

    LoadSettings();
    UpdateData(false);
    Apply(DialogUpdate{m_state.view(), {}, {}, JobKind::None});
    m_serviceSignIn->SetFocus();
    Centre();
    if (!m_settings.problems.empty()) {
        CallAfter([this] { ShowSettingsProblems(); });
    }
}

void MainDialog::ShowSettingsProblems() {
    m_services.showMessage(this, ToWx(DialogState::SettingsProblemsMessage(m_settings.problems)));
}

MainDialog::~MainDialog() {
    StopWorkers();
}

void MainDialog::CreateControls() {
    // Created in tab order.
    const long edit = wxTE_LEFT;
    m_serviceSignIn = new wxButton(this, IDC_SERVICE_LOGIN, Utf8("登陆Nike+"));
    m_serviceUserField = new wxTextCtrl(this, IDC_SERVICE_USER, {}, {}, {}, edit);
    m_servicePasswordField =
        new wxTextCtrl(this, IDC_SERVICE_PASSWORD, {}, {}, {}, edit | wxTE_PASSWORD);
    m_siteUserField = new wxTextCtrl(this, IDC_SITE_USER, {}, {}, {}, edit);
    m_sitePasswordField = new wxTextCtrl(this, IDC_SITE_PASSWORD, {}, {}, {}, edit | wxTE_PASSWORD);
    m_sync = new wxButton(this, IDC_SYNC, Utf8("同步Nike+数据到Strivo"));
    m_refresh = new wxButton(this, IDC_REFRESH, Utf8("刷新"), {}, {}, wxBU_EXACTFIT);
    m_export = new wxButton(this, IDC_EXPORT, Utf8("导出"), {}, {}, wxBU_EXACTFIT);
    m_list = new RunListView(this, IDC_RUN_TABLE, {}, {}, m_runTable);
    auto* visitSite =
        new wxButton(this, IDC_VISIT_SITE, Utf8("访问Kelvora网站"), {}, {}, wxBORDER_NONE);
    auto* about = new wxButton(this, IDC_ABOUT, Utf8("关于..."), {}, {}, wxBORDER_NONE);
    auto* serviceGroup = new wxStaticBox(this, wxID_ANY, Utf8("# 1，Nike+"));
    auto* serviceUserLabel = new wxStaticText(this, wxID_ANY, Utf8("用户名： "));
    auto* servicePasswordLabel = new wxStaticText(this, wxID_ANY, Utf8("密  码： "));
    auto* dataLabel = new wxStaticText(this, wxID_ANY, Utf8("Nike+ 数据"));
    auto* siteGroup = new wxStaticBox(this, wxID_ANY, Utf8("# 2，Strivo（Kelvora论坛）"));
    m_status = new wxStaticText(this, IDC_STATUS, Utf8("等待"), {}, {}, wxST_NO_AUTORESIZE);
    auto* siteUserLabel = new wxStaticText(this, wxID_ANY, Utf8("用户名： "));
    auto* sitePasswordLabel = new wxStaticText(this, wxID_ANY, Utf8("密  码： "));
    m_summary = new wxStaticText(this, IDC_SUMMARY, {}, {}, {},
                                 wxALIGN_RIGHT | wxST_NO_AUTORESIZE | wxBORDER_STATIC);

    // The group boxes are created after the controls inside them (their tab
    // order); keep them beneath those controls.
    serviceGroup->Lower();
    siteGroup->Lower();

    PlaceAt(m_serviceSignIn, {135, 69, 50, 14});
    PlaceAt(m_serviceUserField, {57, 29, 127, 14});
    PlaceAt(m_servicePasswordField, {57, 47, 127, 14});
    PlaceAt(m_siteUserField, {277, 29, 127, 14});
    PlaceAt(m_sitePasswordField, {277, 47, 127, 14});
    PlaceAt(m_sync, {304, 67, 100, 14});
    PlaceAt(m_refresh, {53, 101, 23, 14});
    PlaceAt(m_export, {79, 101, 23, 14});
    m_list->SetSize(ToPixels(this, {7, 116, 418, 157}));
    PlaceAt(visitSite, {293, 278, 72, 14});
    PlaceAt(about, {375, 278, 50, 14});
    serviceGroup->SetSize(ToPixels(this, {7, 7, 195, 86}));
    PlaceAt(serviceUserLabel, {21, 29, 33, 8});
    PlaceAt(servicePasswordLabel, {21, 47, 33, 8});
    PlaceAt(dataLabel, {7, 103, 41, 8});
    siteGroup->SetSize(ToPixels(this, {219, 7, 205, 86}));
    PlaceAt(m_status, {7, 284, 247, 8});
    PlaceAt(siteUserLabel, {241, 29, 33, 8});
    PlaceAt(sitePasswordLabel, {241, 47, 33, 8});
    PlaceAt(m_summary, {116, 101, 308, 11});
    DrawFrame(m_summary);
    LevelWith(serviceUserLabel, m_serviceUserField);
    LevelWith(servicePasswordLabel, m_servicePasswordField);
    LevelWith(siteUserLabel, m_siteUserField);
    LevelWith(sitePasswordLabel, m_sitePasswordField);
    LevelWith(dataLabel, m_refresh);
}

void MainDialog::LoadSettings() {
    m_settings =
        m_options.settings ? *m_options.settings : strivo::LoadSettings(m_options.settingsPath);
    // The demo's record lives as long as the window, like its stand-ins.
    m_postedRuns = std::make_shared<PostedRuns>(
        m_options.settings ? std::filesystem::path() : PostedRunsPathFor(m_options.settingsPath));
}

void MainDialog::SaveSettings() {
    // A failed save changes nothing on disk and is not reported.
    if (!m_options.settings) {
        strivo::SaveSettings(m_options.settingsPath, m_settings.serviceUser, m_settings.siteUser);
    }
}

void MainDialog::UpdateData(bool fromFields) {
    if (fromFields) {
        m_settings.serviceUser = FromWx(m_serviceUserField->GetValue());
        m_settings.servicePassword = FromWx(m_servicePasswordField->GetValue());
        m_settings.siteUser = FromWx(m_siteUserField->GetValue());
        m_settings.sitePassword = FromWx(m_sitePasswordField->GetValue());
    } else {
        m_serviceUserField->ChangeValue(ToWx(m_settings.serviceUser));
        m_servicePasswordField->ChangeValue(ToWx(m_settings.servicePassword));
        m_siteUserField->ChangeValue(ToWx(m_settings.siteUser));
        m_sitePasswordField->ChangeValue(ToWx(m_settings.sitePassword));
    }
}

void MainDialog::Apply(const DialogUpdate& update) {
    const DialogView& view = update.view;
    if (m_shownStatus != view.status) {
        m_shownStatus = view.status;
        m_status->SetLabel(ToWx(view.status));
        m_status->UnsetToolTip();
    }
    const wxString summary = ToWx(view.summary);
    if (m_summary->GetLabel() != summary) {
        m_summary->SetLabel(summary);
    }
    m_serviceSignIn->Enable(view.serviceSignInEnabled);
    m_refresh->Enable(view.refreshEnabled);
    m_sync->Enable(view.syncEnabled);
    m_export->Enable(view.exportEnabled);
    if (update.message) {
        m_services.showMessage(this, ToWx(*update.message));
    }
    if (update.focus) {
        switch (*update.focus) {
            case DialogField::ServiceUser:
                m_serviceUserField->SetFocus();
                break;
            case DialogField::ServicePassword:
                m_servicePasswordField->SetFocus();
                break;
            case DialogField::SiteUser:
                m_siteUserField->SetFocus();
                break;
            case DialogField::SitePassword:
                m_sitePasswordField->SetFocus();
                break;
        }
    }
    if (update.start != JobKind::None) {
        StartJob(update.start);
    }
}

void MainDialog::StartJob(JobKind kind) {
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
        m_services.showAppMessage(DialogState::CannotStartThreadMessage());
        return;
    }
    Apply(m_state.OnJobStarted(kind));
}

void MainDialog::StopWorkers() {
    m_jobs.StopAll();
    if (m_tableListener != 0) {
        m_runTable->RemoveListener(m_tableListener);
        m_tableListener = 0;
    }
}

void MainDialog::OnServiceLogin(wxCommandEvent&) {
    UpdateData(true);
    Apply(m_state.OnServiceLogin(m_settings.serviceUser, m_settings.servicePassword));
}

void MainDialog::OnSync(wxCommandEvent&) {
    UpdateData(true);
    Apply(m_state.OnSync(m_settings.siteUser, m_settings.sitePassword));
}

void MainDialog::OnExport(wxCommandEvent&) {
    // The rows as they are now decide what is written.
    const RunRows rows = m_runTable->Snapshot();
    if (const auto message = m_state.OnExportPressed(rows.size())) {
        m_services.showMessage(this, ToWx(*message));
        return;
    }
    const std::optional<wxString> path = m_services.chooseCsvFile(this);
    if (!path) {
        return;
    }
    Apply(m_state.OnExportStarted());
    const wxScopedCharBuffer utf8 = path->ToUTF8();
    const FileResult written = ExportCsv(std::filesystem::path(utf8.data()), rows);
    Apply(m_state.OnExportFinished(written.ok(), FromWx(*path)));
    if (written.ok()) {
        // One line keeps the file's name in sight; the whole path is a hover away.
        const wxString text = ToWx(m_shownStatus);
        const wxString prefix = text.substr(0, text.length() - path->length());
        m_status->SetLabel(FitPath(m_status, prefix, *path));
        m_status->SetToolTip(text);
    }
}

void MainDialog::OnVisitSite(wxCommandEvent&) {
    const std::string url = SiteUrl(m_settings, "");  // CP936, as the settings are
    if (!m_services.openBrowser(ToWx(url))) {
        Apply(m_state.OnBrowserFailed(url));
    }
}

void MainDialog::OnAbout(wxCommandEvent&) {
    AboutDialog about(this);
    about.ShowModal();
}

void MainDialog::OnWorkerReport(wxThreadEvent& event) {
    Apply(m_state.OnReport(event.GetPayload<ProgressReport>()));
}

void MainDialog::OnTableChanged(wxThreadEvent& event) {
    m_list->TableChanged(static_cast<std::size_t>(event.GetExtraLong()));
}

void MainDialog::OnCharHook(wxKeyEvent& event) {
    // Enter and Escape never act in this dialog: they press no button and do
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

void MainDialog::OnClose(wxCloseEvent&) {
    if (m_closed) {
        return;
    }
    m_closed = true;
    // Workers are cancelled and joined before the window goes, so none
    // touches it afterwards.
    StopWorkers();
    SaveSettings();
    if (IsModal()) {
        EndModal(wxID_CANCEL);
    } else {
        Destroy();
    }
}

}  // namespace strivo
