#pragma once

// The run log controller's insides, shared by its two files
// (RunLogController.cpp: the list, its filters and the window;
// RunLogActions.cpp: the menus, the actions, the import, a run in full).

#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "history/RunFigures.h"
#include "jobs/Import.h"
#include "jobs/RunLog.h"
#include "model/Problem.h"
#include "ui/RunLogController.h"

namespace strivo {

// The window's Post for the import's thread, taken away when the controller
// goes: a thread that outlives the window posts to nothing.
class RunLogMailbox {
public:
    explicit RunLogMailbox(RunLogSurface* surface) : m_surface(surface) {}
    void Post(std::function<void()> call);
    void Close();

private:
    std::mutex m_mutex;
    RunLogSurface* m_surface;
};

struct RunLogController::State {
    // When an action of a menu can be chosen.
    enum class Offered {
        Always,
        Idle,       // a Nike+ user, no import running, not closing
        Rows,       // idle, with rows shown
        Selection,  // idle, with runs selected
        // Idle, for the selected runs whose post it changes.
        Postable,    // kept off, failed, unknown or posted: released or posted again
        Skippable,   // never posted, failed or unknown
        Markable,    // not posted
        OneSelected  // idle, one run selected
    };
    struct Action {
        const char* text;  // UTF-8, through the catalogue; null: a separator
        Offered offered;
        void (State::*act)();
        char ctrlKey = 0;
    };
    struct MenuOfActions {
        const char* title;
        std::span<const Action> actions;
    };
    static std::span<const MenuOfActions> MenuBarActions();
    static std::span<const Action> ContextActions();
    // The menu bar's action of `id`, and the id of an action; null, 0 for none.
    static const Action* ActionOf(int id);
    static int IdOf(void (State::*act)());

    State(RunLogController& owner) : owner(owner), host(owner.m_host) {}

    // Reads the runs of the Nike+ user in the main window's field, with
    // their posts for its site user.
    void Read();
    // The rows shown again after the runs, a filter or the order changed,
    // the runs selected before selected still.
    void Show();
    // The RunIDs of the selected runs, as `runs` holds them now.
    std::unordered_set<std::string> SelectedRunIds() const;
    void ShowFigures();
    // The year filter's choices, from the runs' years.
    void ShowYears();
    const jobs::LoggedRun* RunAt(std::size_t row) const;
    // The runs selected, as indexes into `runs`.
    std::vector<std::size_t> Selected() const;
    bool Offers(Offered offered) const;
    bool Changes(Offered offered, const jobs::LoggedRun& run) const;
    // The RunIDs (CP936) of the selected runs `offered` changes.
    std::vector<std::string> SelectedIds(Offered offered) const;
    std::vector<MenuItem> Items(std::span<const Action> actions) const;
    void Do(const Action& action);
    // Runs left out of an export, named in a message.
    void ShowLeftOut(std::span<const RunProblem> problems);
    // After an action: the runs read again, the main window told.
    void Changed();
    // Since the window opened: the import has ended, the window may go.
    void FinishClose();

    // The actions (RunLogActions.cpp).
    void ImportFiles();
    void ImportFolder();
    void StartImport(std::vector<std::filesystem::path> paths);
    void ImportDone(Result<jobs::ImportTally> done, std::vector<std::string> files);
    void ExportCsv();
    void ExportTcx();
    void ExportFit();
    void PostSelected();
    void SkipSelected();
    void MarkPosted();
    void DeleteSelected();
    void SelectAll();
    void ShowRun();
    void CloseWindow();
    void Settle(int mode, std::vector<std::string> runIds, bool again, const char* done);

    RunLogController& owner;
    RunLogHost& host;
    RunLogSurface* surface = nullptr;
    std::shared_ptr<RunLogMailbox> mailbox;

    jobs::Workspace where;  // as the main window's fields were last read
    std::vector<jobs::LoggedRun> runs;
    std::optional<Problem> unreadable;      // why the runs could not be read
    std::vector<std::size_t> shown;         // indexes into `runs`, as the list shows them
    std::vector<std::optional<int>> years;  // the year filter's choices: none for all
    std::size_t yearChosen = 0, stateChosen = 0;
    std::size_t sortColumn = kLogDate;
    bool ascending = false;  // newest first
    std::vector<std::string> strip;
    // Selected before the runs were read again, to be selected again.
    std::optional<std::unordered_set<std::string>> reselect;

    std::jthread import;
    bool importing = false;
};

}  // namespace strivo
