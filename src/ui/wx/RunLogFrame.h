#pragma once

#include <wx/frame.h>

#include <vector>

#include "ui/RunLogController.h"
#include "ui/RunLogSurface.h"

class wxChoice;
class wxPanel;
class wxStaticText;
class wxWrapSizer;

namespace strivo {

class RunLogList;

// The run log on wx: a resizable frame with its own menu bar, the strip of
// figures, the two filters, the list, the footer and a status bar; files
// dropped anywhere on it are imported. The surface its controller drives,
// and nothing more. Tests override the desktop's parts (message boxes,
// choosers, the modal dialogs and the context menu).
class RunLogFrame : public wxFrame, public RunLogSurface {
public:
    RunLogFrame(wxWindow* parent, RunLogController& controller);

    void SetTitle(const std::string& text) override;
    void SetColumns(const std::vector<RunLogColumn>& columns) override;
    void ShowRows(std::size_t count) override;
    void RefreshRows() override;
    void SetSortMark(std::size_t column, bool ascending) override;
    std::vector<std::size_t> SelectedRows() override;
    void SelectRows(const std::vector<std::size_t>& rows) override;
    void SelectAllRows() override;
    void SetChoices(RunLogFilter filter, const RunLogChoices& choices) override;
    void SetStrip(const std::vector<std::string>& figures) override;
    void SetFooter(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    std::optional<std::size_t> ShowContextMenu(const std::vector<MenuItem>& items) override;
    void ShowImportResults(const RunLogImportResults& results) override;
    std::optional<int> ShowRun(const RunLogRunView& run) override;
    void ShowMessage(const std::string& text) override;
    bool Confirm(const std::string& text) override;
    std::vector<std::filesystem::path> ChooseRunFiles() override;
    std::optional<std::filesystem::path> ChooseRunFolder() override;
    std::optional<ChosenFile> ChooseCsvFile() override;
    std::optional<ChosenFile> ChooseTcxFile() override;
    std::optional<ChosenFile> ChooseFitFolder() override;
    WindowPlace Place() override;
    void SetPlace(const WindowPlace& place) override;
    // The surface's and the window's: shows it and brings it to the front.
    void Raise() override;
    void Post(std::function<void()> call) override;
    void CloseWindow() override;

    // Files and folders dropped on the window (the drop target's handler).
    void OnFilesDropped(const wxArrayString& files);
    // The controller is going: from now on nothing reaches it.
    void Detach();

    RunLogList* list() const { return m_list; }
    wxChoice* filter(RunLogFilter which) const;
    wxStaticText* footer() const { return m_footer; }
    std::vector<wxStaticText*> strip() const { return m_figures; }

private:
    void CreateMenuBar();
    void CreateControls();
    void BindList();
    // The list's selection, as far as telling a change needs.
    struct SelectionMark {
        long count = 0, first = -1, focused = -1;
        bool operator==(const SelectionMark&) const = default;
    };
    // Tells the controller when the selection changed since it last heard.
    void CheckSelection();
    void PostSelectionCheck();
    // The controller changed the selection itself: it needs no telling.
    void MarkSelection();

    RunLogController* m_controller;
    wxPanel* m_panel = nullptr;
    wxWrapSizer* m_strip = nullptr;
    std::vector<wxStaticText*> m_figures;
    wxStaticText* m_filterLabels[2] = {};
    wxChoice* m_filters[2] = {};
    RunLogList* m_list = nullptr;
    wxStaticText* m_footer = nullptr;
    wxPoint m_menuAt;           // where the context menu opens, in the list's coordinates
    wxRect m_normal;            // the size and place when neither maximised nor iconised
    SelectionMark m_selection;  // as the controller last heard of it
    bool m_selectionCheckPosted = false;
};

}  // namespace strivo
