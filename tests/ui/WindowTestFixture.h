// What the window's tests share: the window with recorders in place of the
// desktop, and the fixture that opens, drives and pictures it, under a
// private X server when there is no display (scripts/with-display.sh);
// without any, the tests skip. main() is MainDialogTest.cpp's.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/weakref.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "../support/StandInServices.h"
#include "ui/wx/MainDialog.h"
#include "ui/wx/RunLogDialogs.h"
#include "ui/wx/RunLogFrame.h"
#include "ui/wx/StatsDialog.h"
#include "ui/wx/WxText.h"

namespace strivo::test {

inline bool g_haveDisplay = false;

using namespace std::chrono_literals;

// The run log with recorders in place of the desktop's message boxes and
// choosers; its own dialogs are real, shown until the test has looked at them.
class RecordingRunLog : public RunLogFrame {
public:
    using RunLogFrame::RunLogFrame;

    void ShowMessage(const std::string& text) override { messages.push_back(ToWx(text)); }
    bool Confirm(const std::string& text) override {
        questions.push_back(ToWx(text));
        return answer;
    }
    std::vector<std::filesystem::path> ChooseRunFiles() override { return runFiles; }
    std::optional<std::filesystem::path> ChooseRunFolder() override { return runFolder; }
    std::optional<ChosenFile> ChooseCsvFile() override { return chosenFile; }
    std::optional<ChosenFile> ChooseTcxFile() override { return chosenFile; }
    std::optional<ChosenFile> ChooseFitFolder() override { return chosenFile; }
    std::optional<std::size_t> ShowContextMenu(const std::vector<MenuItem>& items) override {
        menu.clear();
        for (const MenuItem& item : items) {
            menu.push_back(item.text.empty() ? wxString("-")
                                             : ToWx(item.text) + (item.enabled ? "" : " (off)"));
        }
        return menuChoice;
    }
    void ShowImportResults(const RunLogImportResults& results) override {
        ImportResultsDialog dialog(this, results);
        dialog.Show();
        ++resultsShown;
        if (onResults) {
            onResults(dialog);
        }
    }
    // The action chosen is `runChoice`'s answer, or none.
    std::optional<int> ShowRun(const RunLogRunView& run) override {
        RunViewDialog dialog(this, run);
        dialog.Show();
        ++runsShown;
        return onRun ? onRun(dialog, run) : std::nullopt;
    }

    std::vector<wxString> messages, questions, menu;
    bool answer = false;
    std::vector<std::filesystem::path> runFiles;
    std::optional<std::filesystem::path> runFolder;
    std::optional<ChosenFile> chosenFile;
    std::optional<std::size_t> menuChoice;
    int resultsShown = 0, runsShown = 0;
    std::function<void(ImportResultsDialog&)> onResults;
    std::function<std::optional<int>(RunViewDialog&, const RunLogRunView&)> onRun;
};

// The dialog with recorders in place of the desktop's message boxes, file
// chooser and browser.
class RecordingDialog : public MainDialog {
public:
    using MainDialog::MainDialog;

    void ShowMessage(const std::string& text) override { messages.push_back(ToWx(text)); }
    bool Confirm(const std::string& text) override {
        questions.push_back(ToWx(text));
        return answer;
    }
    void ShowAbout() override { ++abouts; }
    void ShowAppMessage(const std::string& text) override { messages.push_back(ToWx(text)); }
    std::optional<ChosenFile> ChooseCsvFile() override { return csvFile; }
    std::optional<ChosenFile> ChooseTcxFile() override { return csvFile; }
    std::vector<std::filesystem::path> ChooseRunFiles() override { return runFiles; }
    std::optional<ChosenFile> ChooseFitFolder() override { return csvFile; }
    // The real dialog, shown until the test has looked at it.
    void ShowStats(StatsChart& chart) override {
        StatsDialog dialog(this, chart);
        dialog.Show();
        onStats(dialog, chart);
    }
    bool OpenBrowser(const std::string&) override { return false; }
    RunLogSurface* OpenRunLog(RunLogController& controller) override {
        runLog = new RecordingRunLog(this, controller);
        return runLog.get();
    }
    // The list's menu: what it offered, and the item the user takes.
    std::optional<std::size_t> ShowListMenu(const std::vector<MenuItem>& items) override {
        menu.clear();
        for (const MenuItem& item : items) {
            menu.push_back(item.text.empty() ? wxString("-")
                                             : ToWx(item.text) + (item.enabled ? "" : " (off)"));
        }
        return menuChoice;
    }

    std::vector<wxString> messages;
    std::vector<wxString> questions;
    bool answer = false;
    int abouts = 0;
    std::optional<ChosenFile> csvFile;
    std::vector<std::filesystem::path> runFiles;
    std::vector<wxString> menu;
    std::optional<std::size_t> menuChoice;
    std::function<void(wxDialog&, StatsChart&)> onStats;
    wxWeakRef<RecordingRunLog> runLog;  // the run log's window while it is open
};

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!g_haveDisplay) {
            GTEST_SKIP() << "no X display could be opened";
        }
    }

    void TearDown() override {
        if (m_dialog) {
            m_dialog->Close();
            Pump(200ms, [] { return false; });
        }
    }

    // Settings from the file at `settingsPath`, or (the demo) in memory.
    void Open(const std::filesystem::path& settingsPath, const test::StandInServices& services,
              bool demo = false) {
        MainDialogOptions options;
        options.settingsPath = settingsPath;
        options.sessionConfig = services.config();
        options.demo = demo;
        if (demo) {
            options.settings = services.settings();
        }
        m_dialog = new RecordingDialog(nullptr, options);
        m_dialog->Show();
        Pump(100ms, [] { return false; });
    }

    template <typename T>
    T* Control(int id) {
        return dynamic_cast<T*>(m_dialog->FindWindow(id));
    }

    void Press(int id) {
        wxCommandEvent event(wxEVT_BUTTON, id);
        event.SetEventObject(Control<wxButton>(id));
        Control<wxButton>(id)->GetEventHandler()->ProcessEvent(event);
    }

    wxString Status() { return Control<wxStaticText>(IDC_STATUS)->GetLabel(); }

    // Runs the event loop until `done` holds or the time is up; says whether it held.
    template <typename Predicate>
    bool Pump(std::chrono::milliseconds limit, Predicate done) {
        for (const auto until = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(5ms)) {
            wxTheApp->ProcessPendingEvents();
            wxYield();
            if (done()) {
                return true;
            }
        }
        return done();
    }

    bool WaitForStatus(const char* utf8, std::chrono::milliseconds limit = 20s) {
        const wxString wanted = Utf8(utf8);
        return Pump(limit, [&] { return Status() == wanted; });
    }

    // The menu bar's item `utf8` chosen, as a click does it, once wx has
    // asked whether it can be; false when it is greyed. The main window's,
    // or `frame`'s.
    bool ChooseFromMenuBar(const char* utf8, wxFrame* frame = nullptr) {
        frame = frame != nullptr ? frame : m_dialog;
        wxMenuBar* bar = frame->GetMenuBar();
        for (std::size_t m = 0; m < bar->GetMenuCount(); ++m) {
            wxMenu* menu = bar->GetMenu(m);
            menu->UpdateUI();
            for (const wxMenuItem* item : menu->GetMenuItems()) {
                if (item->GetItemLabelText() == Utf8(utf8)) {
                    if (!item->IsEnabled()) {
                        return false;
                    }
                    wxCommandEvent event(wxEVT_MENU, item->GetId());
                    event.SetEventObject(frame);
                    frame->ProcessWindowEvent(event);
                    Pump(50ms, [] { return false; });
                    return true;
                }
            }
        }
        ADD_FAILURE() << "no item " << utf8 << " in the menu bar";
        return false;
    }

    // With STRIVO_SCREENSHOTS naming a folder, the window's picture goes to
    // `name`.png there (`make screenshot`): the screen where it lies, so that
    // its menu bar and a menu open over it are in the picture.
    void SaveScreenshot(const char* name, wxWindow* window = nullptr) {
        const char* folder = std::getenv("STRIVO_SCREENSHOTS");
        if (folder == nullptr) {
            return;
        }
        Pump(1s, [] { return false; });
        const wxRect box = (window != nullptr ? window : m_dialog)->GetScreenRect();
        GdkPixbuf* picture = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), box.x, box.y,
                                                        box.width, box.height);
        ASSERT_NE(picture, nullptr);
        const std::string path = std::string(folder) + "/" + name + ".png";
        EXPECT_TRUE(gdk_pixbuf_save(picture, path.c_str(), "png", nullptr, nullptr)) << path;
        g_object_unref(picture);
    }

    // The 文件 menu open, as Alt+F opens it; then closed again.
    void SaveMenuScreenshot(const char* name) {
        if (std::getenv("STRIVO_SCREENSHOTS") == nullptr) {
            return;
        }
        auto* bar = GTK_MENU_SHELL(m_dialog->GetMenuBar()->GetHandle());
        GList* items = gtk_container_get_children(GTK_CONTAINER(bar));
        gtk_widget_mnemonic_activate(GTK_WIDGET(items->data), FALSE);
        g_list_free(items);
        SaveScreenshot(name);
        gtk_menu_shell_deactivate(bar);
        Pump(100ms, [] { return false; });
    }

    test::TempFolder m_folder;
    RecordingDialog* m_dialog = nullptr;
};

}  // namespace strivo::test
