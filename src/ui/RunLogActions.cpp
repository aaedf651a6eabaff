// The run log's menus and what they do: each action a line in a table, on
// the selected runs it changes, through the jobs the CLI uses too.

#include "jobs/Settle.h"
#include "text/Catalog.h"
#include "text/CodePage.h"
#include "ui/DialogState.h"
#include "ui/RunLogState.h"
#include "ui/RunLogText.h"

namespace strivo {
auto RunLogController::State::MenuBarActions() -> std::span<const MenuOfActions> {
    static constexpr Action kFile[] = {
        {N_("Import run files…"), Offered::Idle, &State::ImportFiles, 'O'},
        {N_("Import a folder…"), Offered::Idle, &State::ImportFolder},
        {nullptr, Offered::Always, nullptr},
        {N_("Export the selected runs as CSV…"), Offered::Selection, &State::ExportCsv, 'S'},
        {N_("Export the selected runs as TCX…"), Offered::Selection, &State::ExportTcx},
        {N_("Export the selected runs as FIT…"), Offered::Selection, &State::ExportFit},
        {nullptr, Offered::Always, nullptr},
        {N_("Close"), Offered::Always, &State::CloseWindow, 'W'},
    };
    static constexpr Action kRuns[] = {
        {N_("Post the selected runs"), Offered::Postable, &State::PostSelected},
        {N_("Do not post the selected runs"), Offered::Skippable, &State::SkipSelected},
        {N_("Mark as posted"), Offered::Markable, &State::MarkPosted},
        {nullptr, Offered::Always, nullptr},
        {N_("Delete the selected runs…"), Offered::Selection, &State::DeleteSelected},
        {nullptr, Offered::Always, nullptr},
        {N_("Select all"), Offered::Rows, &State::SelectAll, 'A'},
        {N_("The run in full…"), Offered::OneSelected, &State::ShowRun},
    };
    static constexpr MenuOfActions kMenus[] = {{N_("&File"), kFile}, {N_("&Runs"), kRuns}};
    return kMenus;
}

auto RunLogController::State::ContextActions() -> std::span<const Action> {
    static constexpr Action kActions[] = {
        {N_("Post the selected runs"), Offered::Postable, &State::PostSelected},
        {N_("Do not post the selected runs"), Offered::Skippable, &State::SkipSelected},
        {N_("Mark as posted"), Offered::Markable, &State::MarkPosted},
        {nullptr, Offered::Always, nullptr},
        {N_("Export the selected runs as CSV…"), Offered::Selection, &State::ExportCsv},
        {N_("Export the selected runs as TCX…"), Offered::Selection, &State::ExportTcx},
        {N_("Export the selected runs as FIT…"), Offered::Selection, &State::ExportFit},
        {nullptr, Offered::Always, nullptr},
        {N_("Delete the selected runs…"), Offered::Selection, &State::DeleteSelected},
        {nullptr, Offered::Always, nullptr},
        {N_("The run in full…"), Offered::OneSelected, &State::ShowRun},
    };
    return kActions;
}

auto RunLogController::State::ActionOf(int id) -> const Action* {
    int index = id - kFirstMenuId;
    for (const MenuOfActions& menu : MenuBarActions()) {
        if (index >= 0 && index < static_cast<int>(menu.actions.size())) {
            const Action& action = menu.actions[static_cast<std::size_t>(index)];
            return action.text != nullptr ? &action : nullptr;
        }
        index -= static_cast<int>(menu.actions.size());
    }
    return nullptr;
}

int RunLogController::State::IdOf(void (State::*act)()) {
    int id = kFirstMenuId;
    for (const MenuOfActions& menu : MenuBarActions()) {
        for (const Action& action : menu.actions) {
            if (action.act == act && action.text != nullptr) {
                return id;
            }
            ++id;
        }
    }
    return 0;
}

bool RunLogController::State::Changes(Offered offered, const jobs::LoggedRun& run) const {
    using S = jobs::RunLogState;
    switch (offered) {
        case Offered::Postable:
            return run.state == S::KeptOff || run.state == S::Failed || run.state == S::Unknown ||
                   run.state == S::Posted;
        case Offered::Skippable:
            return run.state == S::Waiting || run.state == S::Failed || run.state == S::Unknown;
        case Offered::Markable:
            return run.state != S::Posted && run.state != S::Posting;
        default:
            return true;
    }
}

bool RunLogController::State::Offers(Offered offered) const {
    if (offered == Offered::Always) {
        return true;
    }
    if (surface == nullptr || owner.m_closing || importing || where.settings.serviceUser.empty()) {
        return false;
    }
    switch (offered) {
        case Offered::Idle:
            return true;
        case Offered::Rows:
            return !shown.empty();
        case Offered::OneSelected:
            return surface->SelectedRows().size() == 1;
        default:
            for (const std::size_t index : Selected()) {
                if (Changes(offered, runs[index])) {
                    return true;
                }
            }
            return false;
    }
}

std::vector<std::string> RunLogController::State::SelectedIds(Offered offered) const {
    std::vector<std::string> ids;
    for (const std::size_t index : Selected()) {
        if (Changes(offered, runs[index])) {
            ids.push_back(runs[index].run.runId);
        }
    }
    return ids;
}

std::vector<MenuItem> RunLogController::State::Items(std::span<const Action> actions) const {
    std::vector<MenuItem> items;
    for (const Action& action : actions) {
        items.push_back(action.text == nullptr
                            ? MenuItem{}
                            : MenuItem{RunLogWords(action.text), Offers(action.offered),
                                       IdOf(action.act), action.ctrlKey});
    }
    return items;
}

void RunLogController::State::Do(const Action& action) {
    if (Offers(action.offered)) {
        (this->*action.act)();
    }
}

std::vector<Menu> RunLogController::MenuBar() const {
    std::vector<Menu> bar;
    for (const State::MenuOfActions& menu : State::MenuBarActions()) {
        bar.push_back({RunLogWords(menu.title), m_state->Items(menu.actions)});
    }
    return bar;
}

bool RunLogController::MenuEnabled(int id) const {
    const State::Action* action = State::ActionOf(id);
    return action != nullptr && m_state->Offers(action->offered);
}

void RunLogController::OnMenu(int id) {
    // A key may come when the item is greyed: it is asked again.
    if (const State::Action* action = State::ActionOf(id); action != nullptr && !m_closed) {
        m_state->Do(*action);
    }
}

void RunLogController::OnContextMenu() {
    if (m_surface == nullptr || m_closed) {
        return;
    }
    const std::vector<MenuItem> items = m_state->Items(State::ContextActions());
    const std::optional<std::size_t> chosen = m_surface->ShowContextMenu(items);
    // The menu ran its own loop: the window may be closing by now.
    if (chosen && *chosen < items.size() && !m_closed) {
        m_state->Do(State::ContextActions()[*chosen]);
    }
}

bool RunLogController::OnKey(RunLogKey key) {
    if (key != RunLogKey::Delete || m_closed) {
        return false;
    }
    OnMenu(State::IdOf(&State::DeleteSelected));
    return true;
}

void RunLogController::OnRowActivated(std::size_t row) {
    if (m_surface == nullptr || m_closed || row >= m_state->shown.size()) {
        return;
    }
    m_surface->SelectRows({row});
    m_state->ShowRun();
}

void RunLogController::OnFilesDropped(std::vector<std::filesystem::path> paths) {
    if (paths.empty() || m_closed) {
        return;
    }
    if (m_state->Offers(State::Offered::Idle)) {
        m_state->StartImport(std::move(paths));
    } else if (m_state->importing) {
        // Nothing dropped is lost unseen: the runner drops it again after.
        m_surface->SetStatus(
            RunLogWords(N_("An import is running: drop the files again once it has ended")));
    }
}

void RunLogController::State::Settle(int mode, std::vector<std::string> runIds, bool again,
                                     const char* done) {
    jobs::SettleRequest request{static_cast<jobs::SettleMode>(mode), std::move(runIds)};
    request.again = again;
    const Result<jobs::Settled> settled = jobs::Settle(where, request);
    if (!settled) {
        surface->ShowMessage(DialogState::SettleFailedMessage(settled.problem()));
        Changed();
        return;
    }
    surface->SetStatus(FillIn(Utf8ToCp936(Zh(done)), {std::to_string(settled->changed)}));
    Changed();
}

void RunLogController::State::PostSelected() {
    // A run the site has would be on the run log twice: the runner is asked first.
    std::vector<std::string> confirmed;
    for (const std::size_t index : Selected()) {
        if (runs[index].state == jobs::RunLogState::Posted) {
            confirmed.push_back(runs[index].run.runId);
        }
    }
    if (!confirmed.empty() && !surface->Confirm(DialogState::RepostConfirmedQuestion(confirmed))) {
        surface->SetStatus(RunLogWords(N_("Nothing was changed")));
        return;
    }
    Settle(static_cast<int>(jobs::SettleMode::Repost), SelectedIds(Offered::Postable),
           !confirmed.empty(), N_("The next sync posts {0} runs"));
}

void RunLogController::State::SkipSelected() {
    Settle(static_cast<int>(jobs::SettleMode::Skip), SelectedIds(Offered::Skippable), false,
           N_("{0} runs are kept off the run log"));
}

void RunLogController::State::MarkPosted() {
    Settle(static_cast<int>(jobs::SettleMode::Posted), SelectedIds(Offered::Markable), false,
           N_("{0} runs marked as posted"));
}

void RunLogController::State::SelectAll() {
    surface->SelectAllRows();
}

void RunLogController::State::CloseWindow() {
    owner.Close();
}

}  // namespace strivo
