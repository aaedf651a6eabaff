// The window's list-menu actions on run files: keeping runs off the run log,
// importing files, writing FIT files.

#include <system_error>

#include "jobs/FitExport.h"
#include "jobs/Import.h"
#include "jobs/Settle.h"
#include "ui/WindowController.h"

namespace strivo {
namespace {

// The window writes FIT files at once and says in the status line how many.
class Unreported : public ProgressSink {
public:
    void Post(ProgressReport) override {}
};

}  // namespace

void WindowController::SettleSkip(std::span<const std::string> runIds) {
    jobs::SettleRequest request{jobs::SettleMode::Skip,
                                std::vector<std::string>(runIds.begin(), runIds.end())};
    const Result<jobs::Settled> settled = jobs::Settle(FieldsWhere(), request);
    ShowPostStates();
    RunLogFollows();
    Apply(settled ? m_state.OnSkipped(settled->changed)
                  : m_state.OnSettleFailed(settled.problem()));
}

void WindowController::ImportFiles(std::span<const std::string>) {
    std::vector<std::filesystem::path> paths = m_surface.ChooseRunFiles();
    if (paths.empty()) {
        return;
    }
    try {
        m_jobs.StartWork([where = FieldsWhere(), paths = std::move(paths)](std::stop_token stop,
                                                                           ProgressSink& sink) {
            (void)jobs::Import(where, {paths, /*post=*/false}, sink, std::move(stop));
        });
    } catch (const std::system_error&) {
        m_surface.ShowAppMessage(DialogState::CannotStartThreadMessage());
        return;
    }
    Apply(m_state.OnImportStarted());
}

void WindowController::ExportFit(std::span<const std::string>) {
    const std::optional<ChosenFile> folder = m_surface.ChooseFitFolder();
    if (!folder) {
        return;
    }
    // The table's runs, each as the store holds it.
    std::vector<std::string> runIds;
    for (const Run& row : m_table->Snapshot()) {
        runIds.emplace_back(row.id());
    }
    Unreported unreported;
    const Result<jobs::FitExported> exported =
        jobs::ExportFit(Where(), folder->path, unreported, runIds);
    Apply(exported ? m_state.OnFitExported(exported->files, folder->text, std::nullopt,
                                           exported->problems)
                   : m_state.OnFitExported(0, folder->text, exported.problem()));
}

}  // namespace strivo
