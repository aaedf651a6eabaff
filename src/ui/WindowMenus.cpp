// The window's menus, each a table of actions: the menu bar, which holds
// everything the window can do, and the list's menu, which holds what can be
// done to the selected runs; and the list's actions that settle runs.

#include "jobs/Settle.h"
#include "jobs/StoredRuns.h"
#include "text/Catalog.h"
#include "text/CodePage.h"
#include "ui/RunColumns.h"
#include "ui/WindowController.h"

namespace strivo {

std::span<const WindowController::MenuOfActions> WindowController::MenuBarActions() {
    using W = WindowController;
    static constexpr MenuAction kFile[] = {
        {N_("Import run files…"), Offered::WhenIdle, &W::ImportFiles, 'O'},
        {nullptr, Offered::Always, nullptr},
        {N_("Export CSV…"), Offered::AsExport, &W::ExportCsv, 'S'},
        {N_("Export TCX…"), Offered::WhenIdle, &W::ExportTcx},
        {N_("Export FIT…"), Offered::WhenIdle, &W::ExportFit},
        {nullptr, Offered::Always, nullptr},
        {N_("Exit"), Offered::Always, &W::Exit},
    };
    static constexpr MenuAction kRuns[] = {
        {N_("Run log…"), Offered::Open, &W::OpenRunLog, 'L'},
        {nullptr, Offered::Always, nullptr},
        {N_("Show the runs kept on this computer"), Offered::WhenIdle, &W::ShowStoredRuns},
        {N_("Distance statistics…"), Offered::WhenIdle, &W::ShowStats},
        {N_("Sync record…"), Offered::WhenIdle, &W::ShowSyncRecord},
    };
    static constexpr MenuAction kHelp[] = {
        {N_("About Strivo…"), Offered::Always, &W::ShowAboutBox},
    };
    static constexpr MenuOfActions kMenus[] = {
        {N_("&File"), kFile}, {N_("&Runs"), kRuns}, {N_("&Help"), kHelp}};
    return kMenus;
}

std::span<const WindowController::MenuAction> WindowController::ListActions() {
    using W = WindowController;
    static constexpr MenuAction kActions[] = {
        {N_("Seen on the site: mark as posted"), Offered::Unconfirmed, &W::SettlePosted},
        {N_("Post again"), Offered::Sent, &W::SettleRepost},
        {N_("Do not post this run"), Offered::Skippable, &W::SettleSkip},
        {N_("Post this run"), Offered::KeptOff, &W::SettleRelease},
        {nullptr, Offered::Always, nullptr},
        {N_("Run log…"), Offered::Open, &W::OpenRunLog},
    };
    return kActions;
}

const WindowController::MenuAction* WindowController::MenuBarAction(int id) {
    int index = id - kFirstMenuId;
    for (const MenuOfActions& menu : MenuBarActions()) {
        if (index >= 0 && index < static_cast<int>(menu.actions.size())) {
            const MenuAction& action = menu.actions[static_cast<std::size_t>(index)];
            return action.text != nullptr ? &action : nullptr;
        }
        index -= static_cast<int>(menu.actions.size());
    }
    return nullptr;
}

bool WindowController::Offers(Offered offered) const {
    switch (offered) {
        case Offered::Always:
            return true;
        case Offered::NotYet:
            return false;
        case Offered::Open:
            return !m_closing;
        case Offered::AsExport:
            return m_shown && m_shown->exportEnabled;
        default:
            // A job may be posting or replacing the runs; a closing window starts nothing.
            return !m_closing && !m_jobs.Running();
    }
}

bool WindowController::Changes(Offered offered, std::optional<PostState> post) {
    switch (offered) {
        case Offered::Unconfirmed:
            return post != PostState::Confirmed;
        case Offered::Sent:
            return post && *post != PostState::Excluded;
        case Offered::Skippable:
            // The store keeps a run the site confirmed as it is.
            return post != PostState::Confirmed && post != PostState::Excluded;
        case Offered::KeptOff:
            return post == PostState::Excluded;
        default:
            return true;
    }
}

std::vector<Menu> WindowController::MenuBar() const {
    std::vector<Menu> bar;
    int id = kFirstMenuId;
    for (const MenuOfActions& menu : MenuBarActions()) {
        Menu& shown = bar.emplace_back(Menu{Utf8ToCp936(Zh(menu.title)), {}});
        for (const MenuAction& action : menu.actions) {
            shown.items.push_back(action.text == nullptr
                                      ? MenuItem{}
                                      : MenuItem{Utf8ToCp936(Zh(action.text)),
                                                 Offers(action.offered), id, action.ctrlKey});
            ++id;
        }
    }
    return bar;
}

bool WindowController::MenuEnabled(int id) const {
    const MenuAction* action = MenuBarAction(id);
    return action != nullptr && Offers(action->offered);
}

void WindowController::OnMenu(int id) {
    // A key may come when the item is greyed: it is asked again here.
    if (MenuEnabled(id)) {
        (this->*MenuBarAction(id)->act)({});
    }
}

void WindowController::OnListMenu(std::span<const std::size_t> selectedRows) {
    const RunList rows = m_table->Snapshot();
    std::vector<std::string> runIds;
    for (const std::size_t row : selectedRows) {
        if (row < rows.size() && !rows[row].id().empty()) {
            runIds.emplace_back(rows[row].id());
        }
    }
    // The posts as the store holds them now. One that cannot be read offers
    // what suits runs never posted, and the action says why it fails.
    const bool idle = Offers(Offered::WhenIdle);
    const Result<jobs::PostStates> posts = idle && !runIds.empty()
                                               ? jobs::ReadPostStates(FieldsWhere())
                                               : Result<jobs::PostStates>(jobs::PostStates());
    const jobs::PostStates none;
    const jobs::PostStates& known = posts ? *posts : none;
    std::vector<MenuItem> items;
    std::vector<std::vector<std::string>> changed;  // per item, the runs it acts on
    for (const MenuAction& action : ListActions()) {
        std::vector<std::string>& its = changed.emplace_back();
        if (action.text == nullptr) {
            items.emplace_back();
            continue;
        }
        const bool onRuns = action.offered >= Offered::Unconfirmed;
        for (const std::string& runId : runIds) {
            const auto post = known.find(runId);
            if (Changes(action.offered,
                        post == known.end() ? std::nullopt : std::optional(post->second.state))) {
                its.push_back(runId);
            }
        }
        items.push_back(
            {Utf8ToCp936(Zh(action.text)), Offers(action.offered) && (!onRuns || !its.empty())});
    }
    const std::optional<std::size_t> chosen = m_surface.ShowListMenu(items);
    // The menu ran its own loop: the window may have started closing meanwhile.
    if (chosen && *chosen < items.size() && items[*chosen].enabled && !m_closing) {
        (this->*ListActions()[*chosen].act)(changed[*chosen]);
    }
}

void WindowController::OpenRunLog(std::span<const std::string>) {
    if (m_runLog) {
        m_runLog->Raise();
        return;
    }
    RunLogHost host;
    host.where = [this] { return FieldsWhere(); };
    host.keepPlace = !m_options.settings;  // the demo keeps nothing
    // A sync posts the runs of the table: the runs the run log imported or
    // released join it as the main window's own import does, once no job runs.
    host.changed = [this] {
        if (Offers(Offered::WhenIdle)) {
            ShowStoredRuns({});
        }
        ShowPostStates();
    };
    // Destroyed once its close has returned.
    host.closed = [this] { m_surface.Post([this] { m_runLog.reset(); }); };
    host.syncPosting = [this] { return m_syncPosting; };
    m_runLog = std::make_unique<RunLogController>(std::move(host));
    RunLogSurface* window = m_surface.OpenRunLog(*m_runLog);
    if (window == nullptr) {
        m_runLog.reset();
        return;
    }
    m_runLog->Start(*window);
}

void WindowController::RunLogFollows() {
    if (m_runLog) {
        m_runLog->OnRunsChanged();
    }
}

void WindowController::Settle(bool posted, std::span<const std::string> runIds, bool again) {
    // Like a sync, settling waits for no one: another process's sync refuses it.
    jobs::SettleRequest request{posted ? jobs::SettleMode::Posted : jobs::SettleMode::Repost,
                                std::vector<std::string>(runIds.begin(), runIds.end())};
    request.again = again;
    const Result<jobs::Settled> settled = jobs::Settle(FieldsWhere(), request);
    ShowPostStates();
    RunLogFollows();
    Apply(settled ? m_state.OnSettled(posted, settled->changed)
                  : m_state.OnSettleFailed(settled.problem()));
}

void WindowController::SettlePosted(std::span<const std::string> runIds) {
    Settle(/*posted=*/true, runIds);
}

void WindowController::SettleRepost(std::span<const std::string> runIds) {
    // A run the site confirmed would be on the run log twice: the runner is
    // asked first. A store that cannot be read fails the settling itself.
    std::vector<std::string> confirmed;
    if (const Result<jobs::PostStates> posts = jobs::ReadPostStates(FieldsWhere())) {
        for (const std::string& runId : runIds) {
            const auto post = posts->find(runId);
            if (post != posts->end() && post->second.state == PostState::Confirmed) {
                confirmed.push_back(runId);
            }
        }
    }
    if (!confirmed.empty() && !m_surface.Confirm(DialogState::RepostConfirmedQuestion(confirmed))) {
        Apply(m_state.OnRepostDeclined());
        return;
    }
    Settle(/*posted=*/false, runIds, /*again=*/!confirmed.empty());
}

void WindowController::SettleRelease(std::span<const std::string> runIds) {
    // Reposting a run kept off the run log lets the next sync post it.
    jobs::SettleRequest request{jobs::SettleMode::Repost,
                                std::vector<std::string>(runIds.begin(), runIds.end())};
    const Result<jobs::Settled> settled = jobs::Settle(FieldsWhere(), request);
    ShowPostStates();
    RunLogFollows();
    Apply(settled ? m_state.OnReleased(settled->changed)
                  : m_state.OnSettleFailed(settled.problem()));
}

}  // namespace strivo
