#pragma once

#include <wx/frame.h>

#include "ui/ControlIds.h"
#include "ui/WindowController.h"
#include "ui/wx/RunListView.h"
#include "ui/wx/RunLogFrame.h"

namespace strivo {

struct MainDialogOptions : WindowOptions {
    bool demo = false;  // the title says so
};

// The main window on wx: the menu bar and the controls, and the surface its
// controller drives. Tests override the desktop's parts (message boxes, file
// chooser, browser).
//
// A frame, as wx gives a menu bar only to a frame; it keeps by hand what the
// dialog it was gave: a fixed size, the tab order and first focus of a panel,
// and Enter and Escape that neither press a button nor close it. The program
// ends with it, as with any last top-level window.
class MainDialog : public wxFrame, public WindowSurface {
public:
    MainDialog(wxWindow* parent, MainDialogOptions options);
    ~MainDialog() override;

    std::string Text(int id) override;
    void SetText(int id, const std::string& text) override;
    void SetEnabled(int id, bool enabled) override { FindWindow(id)->Enable(enabled); }
    void Focus(int id) override { FindWindow(id)->SetFocus(); }
    int TextWidth(int id, const std::string& text) override;
    int Width(int id) override { return FindWindow(id)->GetSize().x; }
    void SetToolTip(int id, const std::string& text) override;
    void ListChanged(const ListRows&, ListRows::Change change) override {
        m_list->RowsChanged(change);
    }
    void PostStatesChanged() override { m_list->Refresh(); }
    std::optional<std::size_t> ShowListMenu(const std::vector<MenuItem>& items) override;
    void ShowMessage(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    void ShowAbout() override;
    void ShowAppMessage(const std::string& text) override;
    std::optional<ChosenFile> ChooseCsvFile() override;
    std::optional<ChosenFile> ChooseTcxFile() override;
    std::vector<std::filesystem::path> ChooseRunFiles() override;
    std::optional<ChosenFile> ChooseFitFolder() override;
    void ShowStats(StatsChart& chart) override;
    RunLogSurface* OpenRunLog(RunLogController& controller) override;
    void ShowSyncRecord(const std::string& text) override;
    bool OpenBrowser(const std::string& url) override;
    void Post(std::function<void()> call) override { CallAfter(std::move(call)); }
    void CloseWindow() override;

private:
    void CreateMenuBar();
    void CreateControls(wxWindow* panel);
    void OnCharHook(wxKeyEvent& event);

    RunListView* m_list = nullptr;
    wxPoint m_menuAt;               // where the list's menu opens, in the list's coordinates
    WindowController m_controller;  // last: its workers end before the controls go
};

// The title of the main window.
wxString MainDialogTitle(bool demo);

}  // namespace strivo
