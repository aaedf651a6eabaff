// Peak resident memory of a download of 24 and of 100,000 runs: strivo-cli
// printing the table, and the window showing it (run this under
// scripts/with-display.sh; without a display only the CLI is measured). The
// stand-ins serve from a process of their own; each measured program runs in
// a fresh child, and the kernel reports its peak when it ends.
#include <wx/app.h>
#include <wx/button.h>
#include <wx/init.h>
#include <wx/listctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "../support/StandInProcess.h"
#include "ui/wx/MainDialog.h"

namespace {

using namespace std::chrono_literals;

constexpr int kManyRuns = 100000;
constexpr double kCliTargetPerBodyByte = 2.0;
constexpr double kWindowTargetMebibytes = 130;

// The window child: signs in through the dialog's button, waits until the
// list holds every run, repaints it, and closes.
int ShowWindow(int argc, char** argv, const std::string& settingsFile, long runs) {
    wxApp::SetInstance(new wxApp());
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        return 3;
    }
    strivo::MainDialogOptions options;
    options.settingsPath = settingsFile;
    auto* dialog = new strivo::MainDialog(nullptr, options);
    dialog->Show();
    wxCommandEvent press(wxEVT_BUTTON, IDC_SERVICE_LOGIN);
    dialog->FindWindow(IDC_SERVICE_LOGIN)->GetEventHandler()->ProcessEvent(press);
    auto* list = dynamic_cast<wxListCtrl*>(dialog->FindWindow(IDC_RUN_TABLE));
    const auto until = std::chrono::steady_clock::now() + 120s;
    while (list->GetItemCount() != runs && std::chrono::steady_clock::now() < until) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        std::this_thread::sleep_for(5ms);
    }
    const bool filled = list->GetItemCount() == runs;
    list->EnsureVisible(runs - 1);
    list->Update();
    wxYield();
    dialog->Close();
    wxTheApp->ProcessPendingEvents();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return filled ? 0 : 1;
}

// Bytes of the run list as the run service sends it, fetched with curl.
long RunListBytes(const strivo::Settings& settings) {
    const std::string host = "localhost:" + std::to_string(settings.serviceHttpsPort);
    const std::string curl = "curl -s --cacert '" + settings.serviceCaFile + "' --resolve " + host +
                             ":127.0.0.1 -c - -b - -o /dev/null ";
    const std::string command =
        "jar=$(mktemp) && " + curl + "-c $jar 'https://" + host +
        "/nikeplus/v1/services/widget/generate_pin.jsp?login=demo.runner%40strivo.example"
        "&password=spring%20run%26go' && " +
        curl + "-b $jar -w '%{size_download}' 'https://" + host +
        "/nikeplus/v1/services/app/run_list.jsp'; rm -f $jar";
    long bytes = 0;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        if (std::fscanf(pipe, "%ld", &bytes) != 1) {
            bytes = 0;
        }
        ::pclose(pipe);
    }
    return bytes;
}

double Mebibytes(long kibibytes) {
    return static_cast<double>(kibibytes) / 1024;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--window") {
        return ShowWindow(1, argv, argv[2], std::atol(argv[3]));
    }
    const bool display = std::getenv("DISPLAY") != nullptr;
    std::printf("%-8s %12s %14s %12s %16s\n", "runs", "body MiB", "CLI peak MiB", "CLI/body",
                "window peak MiB");
    for (const int runs : {24, kManyRuns}) {
        strivo::test::TempFolder folder;
        strivo::bench::StandInProcess standIns(runs, folder.path());
        const long bodyBytes = RunListBytes(standIns.settings());
        const std::string settingsFile = standIns.settingsFile().string();
        const auto cli =
            strivo::bench::RunChild(STRIVO_CLI, {"download", "--config", settingsFile});
        double windowPeak = 0;
        if (display) {
            const auto window = strivo::bench::RunChild(
                "/proc/self/exe", {"--window", settingsFile, std::to_string(runs)});
            windowPeak = window.status == 0 ? Mebibytes(window.peakKibibytes) : -1;
        }
        const double body = static_cast<double>(bodyBytes) / (1 << 20);
        const std::string perBody =
            runs == kManyRuns ? std::to_string(Mebibytes(cli.peakKibibytes) / body).substr(0, 4)
                              : "-";
        std::printf("%-8d %12.1f %14.1f %12s %16.1f%s\n", runs, body,
                    cli.status == 0 ? Mebibytes(cli.peakKibibytes) : -1, perBody.c_str(),
                    windowPeak, display ? "" : " (no display)");
    }
    std::printf("targets at %d runs: CLI at most %.0f times the body, window at most %.0f MiB\n",
                kManyRuns, kCliTargetPerBodyByte, kWindowTargetMebibytes);
    return 0;
}
