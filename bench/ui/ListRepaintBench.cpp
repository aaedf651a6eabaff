// 100,000 rows in the run table: the time from the table's change
// notification to the repainted list, and of scrolling through it, and how
// many cells the list asked for (only the visible rows should be asked).
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/init.h>

#include <chrono>
#include <cstdio>

#include "io/RunText.h"
#include "model/RunTable.h"
#include "ui/wx/RunListView.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingListView : public strivo::RunListView {
public:
    using RunListView::RunListView;
    mutable long cellsAsked = 0;

private:
    wxString OnGetItemText(long item, long column) const override {
        ++cellsAsked;
        return RunListView::OnGetItemText(item, column);
    }
};

double Milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    wxApp::SetInstance(new wxApp());
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "no X display: run under scripts/with-display.sh\n");
        return 1;
    }
    auto table = std::make_shared<strivo::RunTable>();
    strivo::ListRows shown(table);
    auto* frame = new wxFrame(nullptr, wxID_ANY, "bench", wxDefaultPosition, wxSize(700, 400));
    auto* list = new CountingListView(frame, wxID_ANY, wxDefaultPosition, wxDefaultSize, shown);
    frame->Show();
    wxTheApp->Yield();

    std::vector<strivo::Run> rows;
    for (int i = 1; i <= 100000; ++i) {
        rows.push_back(strivo::ServiceRun(std::to_string(1100000000 + i),
                                          {"2010-04-18T07:05:11+08:00", "5.0321", "1834000", "356",
                                           "2010-04-18T01:10:42+08:00"}));
    }

    // The window's listener only records that a change happened; the list
    // takes the count on its own thread, as the dialog does.
    Clock::time_point notified;
    table->AddListener([&](std::size_t) { notified = Clock::now(); });
    table->Replace(std::move(rows));
    list->RowsChanged(shown.Update(table->RowCount()));
    list->Update();
    wxTheApp->Yield();
    std::printf("notification to repainted list: %.2f ms, %ld cells asked\n",
                Milliseconds(notified), list->cellsAsked);

    const long pages[] = {25000, 50000, 99999, 0};
    for (const long row : pages) {
        list->cellsAsked = 0;
        const auto start = Clock::now();
        list->EnsureVisible(row);
        list->Update();
        wxTheApp->Yield();
        std::printf("scroll to row %ld: %.2f ms, %ld cells asked\n", row, Milliseconds(start),
                    list->cellsAsked);
    }
    frame->Destroy();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
