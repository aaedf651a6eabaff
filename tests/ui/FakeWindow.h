// The window's controller through a fake surface, without a display: fake
// jobs stand in for the workers, so no network is needed.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

#include "../support/Cp936Literal.h"
#include "../support/SentRuns.h"
#include "../support/TempFolder.h"
#include "jobs/StoreAccess.h"
#include "ui/ControlIds.h"
#include "ui/RunColumns.h"
#include "ui/WindowController.h"

namespace strivo::test {

using namespace std::chrono_literals;

// Records what the controller shows; runs posted calls when the test pumps.
class FakeSurface : public WindowSurface {
public:
    std::map<int, std::string> texts;
    std::map<int, bool> enabled;
    int focus = 0;
    std::size_t rowCount = 0;
    int statusWidth = 1000;
    std::map<int, std::string> toolTips;
    std::vector<std::string> messages;
    std::vector<std::string> appMessages;
    std::optional<ChosenFile> chosen;
    bool haveBrowser = true;
    std::string openedUrl;
    int closes = 0;
    int postsAfterClose = 0;
    std::vector<MenuItem> menu;         // the list's menu as last shown
    std::optional<std::size_t> choice;  // what the user chooses in it
    std::string statsLine;              // the statistics dialog's, after a click on the first bar
    std::vector<std::string> questions;
    bool answer = false;  // to each question
    int abouts = 0;

    std::string Text(int id) override { return texts[id]; }
    void SetText(int id, const std::string& text) override { texts[id] = text; }
    void SetEnabled(int id, bool on) override { enabled[id] = on; }
    void Focus(int id) override { focus = id; }
    // A byte a pixel.
    int TextWidth(int, const std::string& text) override { return static_cast<int>(text.size()); }
    int Width(int id) override { return id == IDC_STATUS ? statusWidth : 0; }
    void SetToolTip(int id, const std::string& text) override { toolTips[id] = text; }
    void ListChanged(const ListRows& rows, ListRows::Change) override { rowCount = rows.size(); }
    void PostStatesChanged() override {}
    std::optional<std::size_t> ShowListMenu(const std::vector<MenuItem>& items) override {
        menu = items;
        return choice;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool Confirm(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void ShowAbout() override { ++abouts; }
    void ShowAppMessage(const std::string& text) override { appMessages.push_back(text); }
    std::optional<ChosenFile> ChooseCsvFile() override { return chosen; }
    std::optional<ChosenFile> ChooseTcxFile() override { return chosen; }
    void ShowStats(StatsChart& chart) override {
        chart.Resize({400, 300, 1.0});
        chart.Click(chart.layout().bars.at(0).column.x, 10);
        statsLine = chart.SummaryLine();
    }
    bool OpenBrowser(const std::string& url) override {
        openedUrl = url;
        return haveBrowser;
    }
    void CloseWindow() override {
        std::lock_guard lock(m_mutex);
        ++closes;
    }

    void Post(std::function<void()> call) override {
        std::lock_guard lock(m_mutex);
        if (closes > 0) {
            ++postsAfterClose;  // a worker outlived the window
        }
        m_posted.push_back(std::move(call));
        m_wake.notify_all();
    }

    // Runs posted calls until `done` holds or `limit` passes; says whether it held.
    // `done` may be made true by a job's thread too, so it is looked at often.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < until) {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_for(lock, 5ms, [&] { return !m_posted.empty(); })) {
                continue;
            }
            auto call = std::move(m_posted.front());
            m_posted.pop_front();
            lock.unlock();
            call();
        }
        return done();
    }
    void Pump(std::chrono::milliseconds limit) {
        PumpUntil([] { return false; }, limit);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_posted;
};

// Jobs that report as the workers do, at once or once they are let go.
struct FakeJobs {
    bool hold = false;                // a job waits until it is stopped and then let go
    std::atomic<bool> finish{false};  // a held job ends without a stop once let go
    bool failThreadStart = false;
    std::atomic<int> started{0};
    std::atomic<bool> running{false};
    std::atomic<bool> stopSeen{false};
    std::mutex mutex;
    std::condition_variable letGo;
    bool released = false;
    Settings lastSettings;
    std::filesystem::path lastSyncStore;
    // What the sync leaves in the store: a post's outcome, or nullopt for one
    // still being sent.
    std::vector<std::pair<std::string, std::optional<PostResult>>> posts;
    // The post at this index stays in flight until the job is let go.
    std::optional<std::size_t> holdInFlight;

    void Release() {
        std::lock_guard lock(mutex);
        released = true;
        letGo.notify_all();
    }

    // Called on the job's thread.
    void Run(std::stop_token stop, const Settings& settings) {
        {
            std::unique_lock lock(mutex);
            lastSettings = settings;
        }
        running = true;
        ++started;
        if (hold) {
            std::unique_lock lock(mutex);
            while (!stop.stop_requested() && !finish) {
                letGo.wait_for(lock, 5ms);
            }
            stopSeen = stop.stop_requested();
            letGo.wait(lock, [&] { return released; });
        }
        running = false;
    }

    jobs::JobLaunchers Launchers() {
        jobs::JobLaunchers jobs = jobs::JobLaunchers::Real();
        jobs.download = [this](std::stop_token stop, const jobs::Workspace& where,
                               ProgressSink& sink, RunTable& table) {
            sink.Post({.step = Step::ServiceSignedIn});
            Run(stop, where.settings);
            table.Replace({TableRun("111", "2012-07-01", "5.00", "", "", ""),
                           TableRun("222", "2012-07-02", "6.00", "", "", "")});
            sink.Post({.step = Step::RunsDownloaded,
                       .problem = stop.stop_requested()
                                      ? std::optional(Problem(ProblemCode::NetCancelled))
                                      : std::nullopt});
        };
        jobs.sync = [this](std::stop_token stop, const jobs::Workspace& where, ProgressSink& sink,
                           const RunTable& table) {
            {
                std::lock_guard lock(mutex);
                lastSyncStore = where.StorePath();
            }
            sink.Post({.step = Step::SiteSignedIn});
            Run(stop, where.settings);
            auto store = jobs::OpenStore(where);
            ASSERT_TRUE(store);
            const auto now = std::chrono::system_clock::now();
            const SiteKey site = SiteKeyOf(where.settings);
            // Reported as the sync does: each intent, then each outcome, once kept.
            for (std::size_t i = 0; i < posts.size(); ++i) {
                const auto& [runId, result] = posts[i];
                ASSERT_TRUE((*store)->CommitIntent(site, runId, now));
                sink.Post({.step = Step::Posting, .runId = runId});
                if (holdInFlight == i) {
                    std::unique_lock lock(mutex);
                    letGo.wait(lock, [&] { return released; });
                }
                if (result) {
                    ASSERT_TRUE((*store)->RecordOutcome(site, {runId, *result, "", now}));
                    sink.Post({.step = Step::Posted,
                               .runId = runId,
                               .result = *result,
                               .total = static_cast<int>(posts.size()),
                               .processed = static_cast<int>(i + 1)});
                }
            }
            SyncTally tally;
            tally.total = static_cast<int>(table.RowCount());
            sink.Post({.step = Step::SyncDone, .tally = tally});
        };
        jobs.startThread = [this, start = jobs.startThread](auto body) {
            if (failThreadStart) {
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            }
            return start(std::move(body));
        };
        return jobs;
    }
};

// The controller on the fake surface, with fake jobs.
class Window {
public:
    ~Window() { m_jobs.Release(); }  // a job held by a failed test ends too

    // With `settings`, in memory (nothing is saved); else from config.ini in a folder.
    WindowController& Open(std::optional<Settings> settings = std::nullopt) {
        m_controller.emplace(m_surface,
                             WindowOptions{m_folder / "config.ini", std::move(settings), {}},
                             m_jobs.Launchers());
        m_controller->Start();
        return *m_controller;
    }

    void FillFields() {
        m_surface.texts[IDC_SERVICE_USER] = "runner";
        m_surface.texts[IDC_SERVICE_PASSWORD] = "pw";
        m_surface.texts[IDC_SITE_USER] = "poster";
        m_surface.texts[IDC_SITE_PASSWORD] = "pw2";
    }

    bool WaitForStatus(const char* utf8) {
        return m_surface.PumpUntil([&] { return Status() == Cp936(utf8); });
    }
    std::string Status() { return m_surface.texts[IDC_STATUS]; }
    // The menu bar's item `utf8`, chosen as a click on it would choose it.
    void ChooseFromMenuBar(const char* utf8) {
        for (const Menu& menu : m_controller->MenuBar()) {
            for (const MenuItem& item : menu.items) {
                if (item.text == Cp936(utf8)) {
                    m_controller->OnMenu(item.id);
                    return;
                }
            }
        }
        ADD_FAILURE() << "no item " << utf8 << " in the menu bar";
    }
    // The state column of `rows`, each cell followed by "|".
    std::string StateColumn(const RunList& rows) {
        std::string cells;
        for (const strivo::Run& run : rows) {
            cells += std::string(m_controller->list().PostStateOf(run.id())) + "|";
        }
        return cells;
    }

    test::TempFolder m_folder;  // first: the controller saves into it
    FakeSurface m_surface;
    FakeJobs m_jobs;
    std::optional<WindowController> m_controller;
};

}  // namespace strivo::test
