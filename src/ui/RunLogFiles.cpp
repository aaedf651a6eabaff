// The run log's actions on files and on whole runs: import (by its menu or
// by a drop) on a thread of its own, export of the selected runs, taking
// back imported runs, and one run in full.

#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "jobs/Export.h"
#include "jobs/FitExport.h"
#include "jobs/Import.h"
#include "jobs/Remove.h"
#include "jobs/StoredRuns.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"
#include "ui/DialogState.h"
#include "ui/RunLogState.h"
#include "ui/RunLogText.h"

namespace strivo {
namespace {

// The FIT export is counted when it ends, not file by file.
class FitFilesUncounted : public ProgressSink {
public:
    void Post(ProgressReport) override {}
};

// The import's reports, on its thread: the files read, in order, and its
// progress, posted to the window's status.
class ImportProgress : public ProgressSink {
public:
    ImportProgress(std::shared_ptr<RunLogMailbox> mailbox, RunLogSurface* surface)
        : m_mailbox(std::move(mailbox)), m_surface(surface) {}
    void Post(ProgressReport report) override {
        if (report.step != Step::FileImported) {
            return;
        }
        files.push_back(report.file);
        std::string status =
            FillIn(RunLogWords(N_("Importing the run files: {0}/{1}")),
                   {std::to_string(report.processed), std::to_string(report.total)});
        m_mailbox->Post(
            [surface = m_surface, status = std::move(status)] { surface->SetStatus(status); });
    }
    std::vector<std::string> files;  // UTF-8, as the job names them

private:
    std::shared_ptr<RunLogMailbox> m_mailbox;
    RunLogSurface* m_surface;
};

std::string Listed(std::span<const std::string> runIds) {
    std::string list;
    for (const std::string& runId : runIds) {
        list += (list.empty() ? "" : ", ") + MaskControls(runId, TextEncoding::Cp936);
    }
    return list;
}

}  // namespace

void RunLogController::State::ImportFiles() {
    StartImport(surface->ChooseRunFiles());
}

void RunLogController::State::ImportFolder() {
    if (std::optional<std::filesystem::path> folder = surface->ChooseRunFolder()) {
        StartImport({std::move(*folder)});
    }
}

void RunLogController::State::StartImport(std::vector<std::filesystem::path> paths) {
    if (paths.empty() || importing) {
        return;
    }
    // The runs imported start kept off the run log, as the main window's.
    auto work = [this, where = where, paths = std::move(paths), mailbox = mailbox,
                 window = surface](std::stop_token stop) {
        ImportProgress progress(mailbox, window);
        Result<jobs::ImportTally> done =
            jobs::Import(where, {paths, /*post=*/false}, progress, std::move(stop));
        mailbox->Post([this, done = std::move(done), files = std::move(progress.files)]() mutable {
            ImportDone(std::move(done), std::move(files));
        });
    };
    try {
        import =
            host.startThread ? host.startThread(std::move(work)) : std::jthread(std::move(work));
    } catch (const std::system_error&) {
        surface->ShowMessage(DialogState::CannotStartThreadMessage());
        return;
    }
    importing = true;
    surface->SetStatus(RunLogWords(N_("Importing the run files…")));
}

void RunLogController::State::ImportDone(Result<jobs::ImportTally> done,
                                         std::vector<std::string> files) {
    if (import.joinable()) {
        import.join();  // it has posted its end: it ends now
    }
    importing = false;
    Changed();
    // The runs each file gave, as the store now holds them.
    std::unordered_map<std::string, std::size_t> added;
    if (done) {
        const std::unordered_set<std::string> kept(done->keptOff.begin(), done->keptOff.end());
        for (const jobs::LoggedRun& run : runs) {
            if (kept.contains(run.run.runId)) {
                ++added[run.run.sourceFile];
            }
        }
    }
    std::vector<std::size_t> perFile;
    for (const std::string& file : files) {
        perFile.push_back(added.contains(file) ? added[file] : 0);
    }
    const RunLogImportResults results = RunLogImportResultsOf(done, files, perFile);
    surface->SetStatus(results.summary);
    if (!owner.m_closing) {
        surface->ShowImportResults(results);
    } else {
        FinishClose();
    }
}

void RunLogController::State::ExportCsv() {
    const std::vector<std::size_t> selected = Selected();
    const std::optional<ChosenFile> file = surface->ChooseCsvFile();
    if (!file) {
        return;
    }
    RunList::Builder chosen;
    for (const std::size_t index : selected) {
        chosen.Add(jobs::RunOf(runs[index].run));
    }
    const Outcome written = jobs::ExportCsv(where, chosen.Finish(), {file->path});
    if (!written) {
        surface->ShowMessage(RunLogWords(N_("The runs were not exported: ")) +
                             Utf8ToCp936(DescribeIn(ChineseCatalog(), written.problem())));
        return;
    }
    surface->SetStatus(FillIn(RunLogWords(N_("Exported {0} runs to {1}")),
                              {std::to_string(selected.size()), file->text}));
}

void RunLogController::State::ExportTcx() {
    const std::vector<std::string> runIds = SelectedIds(Offered::Selection);
    const std::optional<ChosenFile> file = surface->ChooseTcxFile();
    if (!file) {
        return;
    }
    const Result<jobs::TcxExported> exported = jobs::ExportTcx(where, {file->path}, runIds);
    if (!exported) {
        surface->ShowMessage(RunLogWords(N_("The runs were not exported: ")) +
                             Utf8ToCp936(DescribeIn(ChineseCatalog(), exported.problem())));
        return;
    }
    surface->SetStatus(FillIn(RunLogWords(N_("Exported {0} runs to {1}")),
                              {std::to_string(exported->activities), file->text}));
    ShowLeftOut(exported->problems);
}

void RunLogController::State::ExportFit() {
    const std::vector<std::string> runIds = SelectedIds(Offered::Selection);
    const std::optional<ChosenFile> folder = surface->ChooseFitFolder();
    if (!folder) {
        return;
    }
    FitFilesUncounted uncounted;
    const Result<jobs::FitExported> exported =
        jobs::ExportFit(where, folder->path, uncounted, runIds);
    if (!exported) {
        surface->ShowMessage(RunLogWords(N_("The runs were not exported: ")) +
                             Utf8ToCp936(DescribeIn(ChineseCatalog(), exported.problem())));
        return;
    }
    surface->SetStatus(FillIn(RunLogWords(N_("Exported {0} FIT files to {1}")),
                              {std::to_string(exported->files), folder->text}));
    ShowLeftOut(exported->problems);
}

void RunLogController::State::ShowLeftOut(std::span<const RunProblem> problems) {
    if (problems.empty()) {
        return;
    }
    std::string message = RunLogWords(N_("These runs were left out or written in part:"));
    for (const RunProblem& problem : problems) {
        message += "\n" + MaskControls(problem.runId, TextEncoding::Cp936) + RunLogWords(N_(": ")) +
                   Utf8ToCp936(DescribeIn(ChineseCatalog(), problem.problem));
    }
    surface->ShowMessage(message);
}

void RunLogController::State::DeleteSelected() {
    const std::vector<std::string> keys = SelectedIds(Offered::Selection);
    if (keys.empty() ||
        !surface->Confirm(FillIn(RunLogWords(N_("Delete the {0} selected runs from this computer? "
                                                "Only runs imported from files and never posted "
                                                "are deleted; the others stay.")),
                                 {std::to_string(keys.size())}))) {
        return;
    }
    const Result<jobs::Removed> removed = jobs::RemoveRuns(where, keys);
    if (!removed) {
        surface->ShowMessage(RunLogWords(N_("Nothing was deleted: ")) +
                             Utf8ToCp936(DescribeIn(ChineseCatalog(), removed.problem())));
        return;
    }
    // Each run that stays is named, with why.
    std::vector<std::string> refused[3];
    for (const auto& [key, why] : removed->refused) {
        refused[static_cast<std::size_t>(why)].push_back(key);
    }
    static constexpr const char* kWhy[] = {
        N_("not stored for this Nike+ user, nothing removed: {0}"),
        N_("runs of the Nike+ service stay, as the next download brings them back: {0}"),
        N_("runs posted to the run log, or sent there once, stay: {0}")};
    std::string message;
    for (std::size_t why = 0; why < 3; ++why) {
        if (!refused[why].empty()) {
            message += (message.empty() ? "" : "\n") +
                       FillIn(RunLogWords(kWhy[why]), {Listed(refused[why])});
        }
    }
    const std::size_t count = removed->removed.size();
    surface->SetStatus(FillIn(Utf8ToCp936(TrNIn(ChineseCatalog(), "Removed {0} imported run.",
                                                "Removed {0} imported runs.", count)),
                              {std::to_string(count)}));
    Changed();
    if (!message.empty()) {
        surface->ShowMessage(message);
    }
}

void RunLogController::State::ShowRun() {
    const std::vector<std::size_t> selected = Selected();
    if (selected.size() != 1) {
        return;
    }
    const jobs::LoggedRun run = runs[selected.front()];
    const Result<std::vector<jobs::RunPost>> posts = jobs::ReadRunPosts(where, run.run.runId);
    if (!posts) {
        surface->ShowMessage(DialogState::StoreReadFailedMessage(posts.problem()));
        return;
    }
    // The same actions as the selection's, on this run alone.
    std::vector<MenuItem> actions;
    for (const MenuItem& item : Items(ContextActions())) {
        if (!item.text.empty() && item.id != IdOf(&State::ShowRun)) {
            actions.push_back(item);
        }
    }
    const std::optional<int> chosen = surface->ShowRun(RunLogRunViewOf(run, *posts, actions));
    // The dialog ran its own loop: the window may be closing by now.
    if (chosen && !owner.m_closed) {
        owner.OnMenu(*chosen);
    }
}

}  // namespace strivo
