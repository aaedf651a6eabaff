#include "ui/WindowController.h"

#include <system_error>

#include "export/CsvExport.h"
#include "store/SharedStore.h"
#include "ui/ControlIds.h"

namespace strivo {

WindowController::WindowController(WindowSurface& surface, WindowOptions options, JobLaunchers jobs)
    : m_surface(surface),
      m_options(std::move(options)),
      // Called on the job's thread.
      m_jobs(m_progress, m_table, std::move(jobs),
             [this] { m_surface.Post([this] { CloseWhenJobsEnded(); }); }) {}

WindowController::~WindowController() {
    m_jobs.StopAll();
    if (m_tableListener != 0) {
        m_table->RemoveListener(m_tableListener);
    }
}

// Called on the worker's thread.
void WindowController::Progress::Post(ProgressReport report) {
    WindowController& controller = m_controller;
    controller.m_surface.Post([&controller, report = std::move(report)] {
        controller.Apply(controller.m_state.OnReport(report));
    });
}

void WindowController::Start() {
    // Called on whichever thread changed the table: only post.
    m_tableListener = m_table->AddListener([this](std::size_t rowCount) {
        m_surface.Post([this, rowCount] { m_surface.RowCountChanged(rowCount); });
    });
    m_settings = m_options.settings ? *m_options.settings : LoadSettings(m_options.settingsPath);
    // The demo's store lives as long as the window, like its stand-ins.
    m_store = m_options.settings ? SharedStore::InMemory()
                                 : SharedStore::ForSettings(m_options.settingsPath);
    UpdateData(false);
    Apply(DialogUpdate{m_state.view(), {}, {}, JobKind::None});
    m_surface.Focus(IDC_SERVICE_LOGIN);
    if (!m_settings.problems.empty()) {
        m_surface.Post([this] { ShowSettingsProblems(); });  // once the window shows
    }
}

void WindowController::ShowSettingsProblems() {
    m_surface.ShowSettingsProblems(DialogState::SettingsProblemsMessage(m_settings.problems));
}

void WindowController::UpdateData(bool fromFields) {
    const struct {
        int id;
        std::string* text;
    } fields[] = {{IDC_SERVICE_USER, &m_settings.serviceUser},
                  {IDC_SERVICE_PASSWORD, &m_settings.servicePassword},
                  {IDC_SITE_USER, &m_settings.siteUser},
                  {IDC_SITE_PASSWORD, &m_settings.sitePassword}};
    for (const auto& field : fields) {
        if (fromFields) {
            *field.text = m_surface.Text(field.id);
        } else {
            m_surface.SetText(field.id, *field.text);
        }
    }
}

void WindowController::Apply(const DialogUpdate& update) {
    const DialogView& view = update.view;
    if (!m_shown || m_shown->status != view.status) {
        m_surface.SetText(IDC_STATUS, view.status);
    }
    if (!m_shown || m_shown->summary != view.summary) {
        m_surface.SetText(IDC_SUMMARY, view.summary);
    }
    m_shown = view;
    m_surface.SetEnabled(IDC_SERVICE_LOGIN, view.serviceSignInEnabled);
    m_surface.SetEnabled(IDC_REFRESH, view.refreshEnabled);
    m_surface.SetEnabled(IDC_SYNC, view.syncEnabled);
    m_surface.SetEnabled(IDC_EXPORT, view.exportEnabled);
    if (update.message) {
        m_surface.ShowMessage(*update.message);
    }
    if (update.focus) {
        static constexpr int kFieldIds[] = {IDC_SERVICE_USER, IDC_SERVICE_PASSWORD, IDC_SITE_USER,
                                            IDC_SITE_PASSWORD};
        m_surface.Focus(kFieldIds[static_cast<int>(*update.focus)]);
    }
    if (update.start != JobKind::None) {
        StartJob(update.start);
    }
}

void WindowController::StartJob(JobKind kind) {
    if (m_closing) {
        return;
    }
    // No request goes to a host or port the user did not mean.
    if (!m_settings.problems.empty()) {
        ShowSettingsProblems();
        return;
    }
    try {
        m_jobs.Start(kind, m_settings, m_options.sessionConfig, m_store);
    } catch (const std::system_error&) {
        m_surface.ShowAppMessage(DialogState::CannotStartThreadMessage());
        return;
    }
    Apply(m_state.OnJobStarted(kind));
}

void WindowController::OnServiceLogin() {
    UpdateData(true);
    Apply(m_state.OnServiceLogin(m_settings.serviceUser, m_settings.servicePassword));
}

void WindowController::OnSync() {
    UpdateData(true);
    Apply(m_state.OnSync(m_settings.siteUser, m_settings.sitePassword));
}

void WindowController::OnExport() {
    // The rows as they are now decide what is written.
    const RunRows rows = m_table->Snapshot();
    if (const auto message = m_state.OnExportPressed(rows.size())) {
        m_surface.ShowMessage(*message);
        return;
    }
    const std::optional<ChosenFile> file = m_surface.ChooseCsvFile();
    if (!file) {
        return;
    }
    Apply(m_state.OnExportStarted());
    const FileResult written = ExportCsv(file->path, rows);
    Apply(m_state.OnExportFinished(written.ok(), file->text));
    if (written.ok()) {
        m_surface.FitStatusPath(m_state.view().status, file->text);
    }
}

void WindowController::OnVisitSite() {
    const std::string url = SiteUrl(m_settings, "");
    if (!m_surface.OpenBrowser(url)) {
        Apply(m_state.OnBrowserFailed(url));
    }
}

void WindowController::Close() {
    if (m_closing) {
        return;
    }
    m_closing = true;
    m_jobs.RequestStop();
    CloseWhenJobsEnded();
}

void WindowController::CloseWhenJobsEnded() {
    // No worker outlives the window: it goes once the last job has ended.
    if (m_jobs.JoinEnded() || !m_closing || m_closed) {
        return;
    }
    m_closed = true;
    m_table->RemoveListener(m_tableListener);
    m_tableListener = 0;
    // A failed save changes nothing on disk and is not reported.
    if (!m_options.settings) {
        SaveSettings(m_options.settingsPath, m_settings.serviceUser, m_settings.siteUser);
    }
    m_surface.CloseWindow();
}

}  // namespace strivo
