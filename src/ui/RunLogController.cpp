#include "ui/RunLogController.h"

#include <chrono>
#include <unordered_set>

#include "io/TimeText.h"
#include "jobs/WindowPlaces.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"
#include "ui/RunLogState.h"
#include "ui/RunLogText.h"

namespace strivo {
namespace {

constexpr std::string_view kPlaceName = "run-log";

// The state filter's choices after 全部: Posting goes with Unknown.
constexpr jobs::RunLogState kStateChoices[] = {
    jobs::RunLogState::Posted, jobs::RunLogState::Waiting, jobs::RunLogState::KeptOff,
    jobs::RunLogState::Unknown, jobs::RunLogState::Failed};

constexpr jobs::RunLogSort kSorts[kLogColumnCount] = {
    jobs::RunLogSort::Date, jobs::RunLogSort::Distance, jobs::RunLogSort::Duration,
    jobs::RunLogSort::Pace, jobs::RunLogSort::Calories, jobs::RunLogSort::Source,
    jobs::RunLogSort::State};

}  // namespace

void RunLogMailbox::Post(std::function<void()> call) {
    const std::lock_guard lock(m_mutex);
    if (m_surface != nullptr) {
        m_surface->Post(std::move(call));
    }
}

void RunLogMailbox::Close() {
    const std::lock_guard lock(m_mutex);
    m_surface = nullptr;
}

std::unordered_set<std::string> RunLogController::State::SelectedRunIds() const {
    std::unordered_set<std::string> ids;
    for (const std::size_t index : Selected()) {
        ids.insert(runs[index].run.runId);
    }
    return ids;
}

void RunLogController::State::Read() {
    if (!reselect) {
        reselect = SelectedRunIds();
    }
    where = host.where();
    runs.clear();
    unreadable.reset();
    if (where.settings.serviceUser.empty()) {
        return;
    }
    const bool posting = host.syncPosting && host.syncPosting();
    Result<jobs::RunLogRuns> read = jobs::ReadRunLog(where, posting);
    if (!read) {
        unreadable = read.problem();
        return;
    }
    runs = std::move(read->runs);
}

void RunLogController::State::ShowYears() {
    std::vector<std::optional<int>> now{std::nullopt};
    for (const int year : jobs::RunYears(runs)) {
        now.emplace_back(year);
    }
    if (now == years) {
        return;
    }
    // The year chosen stays chosen while runs started in it.
    int chosen = 0;
    if (yearChosen < years.size() && years[yearChosen]) {
        chosen = *years[yearChosen];
    }
    years = std::move(now);
    yearChosen = 0;
    RunLogChoices choices{RunLogWords(N_("Year")), {RunLogWords(N_("All years"))}, 0};
    for (std::size_t i = 1; i < years.size(); ++i) {
        choices.texts.push_back(std::to_string(*years[i]));
        if (*years[i] == chosen) {
            yearChosen = i;
        }
    }
    choices.chosen = yearChosen;
    surface->SetChoices(RunLogFilter::Year, choices);
}

void RunLogController::State::ShowFigures() {
    const std::string& user = where.settings.serviceUser;
    surface->SetTitle(user.empty() ? RunLogWords(N_("Run log"))
                                   : FillIn(RunLogWords(N_("Run log of {0}")),
                                            {MaskControls(user, TextEncoding::Cp936)}));
    if (user.empty()) {
        strip.clear();
    } else {
        strip = RunLogStripTexts(
            jobs::StripFigures(runs, LocalYear(std::chrono::system_clock::now())), runs);
    }
    surface->SetStrip(strip);
    ShowYears();
}

void RunLogController::State::Show() {
    // The runs selected stay selected where they are still shown.
    const std::unordered_set<std::string> selected = reselect ? *reselect : SelectedRunIds();
    reselect.reset();
    jobs::RunLogFilter filter;
    if (yearChosen < years.size()) {
        filter.year = years[yearChosen];
    }
    if (stateChosen > 0 && stateChosen <= std::size(kStateChoices)) {
        filter.state = kStateChoices[stateChosen - 1];
    }
    shown = jobs::SelectRuns(runs, filter, kSorts[sortColumn], ascending);
    surface->ShowRows(shown.size());
    std::vector<std::size_t> reselect;
    for (std::size_t row = 0; row < shown.size() && !selected.empty(); ++row) {
        if (selected.contains(runs[shown[row]].run.runId)) {
            reselect.push_back(row);
        }
    }
    if (!reselect.empty()) {
        surface->SelectRows(reselect);
    }
    if (where.settings.serviceUser.empty()) {
        surface->SetFooter(
            RunLogWords(N_("Type the Nike+ user name in the main window to see its runs")));
    } else if (unreadable) {
        surface->SetFooter(RunLogWords(N_("Cannot read the stored runs")) +
                           Utf8ToCp936(ShortCause(*unreadable)));
    } else {
        surface->SetFooter(RunLogFooter(jobs::CountRuns(runs, shown)));
    }
}

const jobs::LoggedRun* RunLogController::State::RunAt(std::size_t row) const {
    return row < shown.size() ? &runs[shown[row]] : nullptr;
}

std::vector<std::size_t> RunLogController::State::Selected() const {
    std::vector<std::size_t> selected;
    if (surface == nullptr) {
        return selected;
    }
    for (const std::size_t row : surface->SelectedRows()) {
        if (row < shown.size()) {
            selected.push_back(shown[row]);
        }
    }
    return selected;
}

void RunLogController::State::Changed() {
    Read();
    ShowFigures();
    Show();
    if (host.changed) {
        host.changed();
    }
}

void RunLogController::State::FinishClose() {
    if (owner.m_closed) {
        return;
    }
    owner.m_closed = true;
    // The place is kept beside the runs, where there are any. No message
    // promises it, and the next opening alone reads it: a place that cannot
    // be kept (the store read-only or gone) opens the window at its default
    // place, which says nothing was kept, rather than a box as it closes.
    if (host.keepPlace && surface != nullptr && where.StoreExists()) {
        (void)jobs::KeepWindowPlace(where, kPlaceName, surface->Place());
    }
    mailbox->Close();
    if (surface != nullptr) {
        surface->CloseWindow();
    }
    if (host.closed) {
        host.closed();
    }
}

RunLogController::RunLogController(RunLogHost host)
    : m_host(std::move(host)), m_state(std::make_unique<State>(*this)) {
    m_state->mailbox = std::make_shared<RunLogMailbox>(nullptr);
}

RunLogController::~RunLogController() {
    m_state->mailbox->Close();
    m_state->import.request_stop();
    if (m_state->import.joinable()) {
        m_state->import.join();
    }
}

void RunLogController::Start(RunLogSurface& surface) {
    m_surface = &surface;
    State& state = *m_state;
    state.surface = &surface;
    state.mailbox = std::make_shared<RunLogMailbox>(&surface);
    surface.SetColumns(RunLogColumns());
    surface.SetSortMark(state.sortColumn, state.ascending);
    RunLogChoices states{RunLogWords(N_("Post state")), {RunLogWords(N_("All states"))}, 0};
    for (const jobs::RunLogState each : kStateChoices) {
        states.texts.push_back(RunLogStateText(each));
    }
    surface.SetChoices(RunLogFilter::State, states);
    state.Read();
    if (m_host.keepPlace) {
        // A place that cannot be read leaves the window where it opens.
        if (const auto place = jobs::ReadWindowPlace(state.where, kPlaceName); place && *place) {
            surface.SetPlace(**place);
        }
    }
    state.ShowFigures();
    state.Show();
    surface.SetStatus({});
    surface.Raise();
}

void RunLogController::Raise() {
    if (m_surface != nullptr && !m_closing) {
        m_surface->Raise();
    }
}

std::size_t RunLogController::RowCount() const {
    return m_state->shown.size();
}

std::string RunLogController::Cell(std::size_t row, std::size_t column) const {
    const jobs::LoggedRun* run = m_state->RunAt(row);
    return run != nullptr ? RunLogCell(*run, column) : std::string();
}

std::string RunLogController::ToolTip(std::size_t row, std::size_t column) const {
    const jobs::LoggedRun* run = m_state->RunAt(row);
    return run != nullptr ? RunLogTip(*run, column) : std::string();
}

void RunLogController::OnHeaderClicked(std::size_t column) {
    if (column >= kLogColumnCount || m_closed) {
        return;
    }
    State& state = *m_state;
    // The date opens newest first; a column of figures opens least first.
    state.ascending = column == state.sortColumn ? !state.ascending : column != kLogDate;
    state.sortColumn = column;
    m_surface->SetSortMark(column, state.ascending);
    state.Show();
}

void RunLogController::OnChoice(RunLogFilter filter, std::size_t index) {
    if (m_closed) {
        return;
    }
    State& state = *m_state;
    std::size_t& chosen = filter == RunLogFilter::Year ? state.yearChosen : state.stateChosen;
    const std::size_t choices =
        filter == RunLogFilter::Year ? state.years.size() : std::size(kStateChoices) + 1;
    if (index < choices && index != chosen) {
        chosen = index;
        state.Show();
    }
}

void RunLogController::OnSelectionChanged() {}

void RunLogController::OnFieldsChanged() {
    if (m_surface == nullptr || m_closed) {
        return;
    }
    const jobs::Workspace now = m_host.where();
    const Settings& shown = m_state->where.settings;
    if (now.settings.serviceUser != shown.serviceUser || now.settings.siteUser != shown.siteUser) {
        OnRunsChanged();
    }
}

void RunLogController::OnRunsChanged() {
    if (m_surface == nullptr || m_closed) {
        return;
    }
    m_state->Read();
    m_state->ShowFigures();
    m_state->Show();
}

void RunLogController::Close() {
    if (m_closing) {
        return;
    }
    m_closing = true;
    // An import ends at its next file; the window goes when it has.
    if (m_state->importing) {
        m_state->import.request_stop();
        if (m_surface != nullptr) {
            m_surface->SetStatus(RunLogWords(N_("Stopping the import…")));
        }
        return;
    }
    m_state->FinishClose();
}

}  // namespace strivo
