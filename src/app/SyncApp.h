#pragma once

#include <wx/app.h>

#include <filesystem>
#include <memory>

namespace strivo {

class DemoServices;

// The application: shows the main dialog and ends when it closes. With
// --demo it starts the stand-in services first and gives the dialog a
// private settings file pointing at them.
class SyncApp : public wxApp {
public:
    SyncApp();
    ~SyncApp() override;

    bool OnInit() override;
    int OnExit() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;

private:
    bool m_demo = false;
    std::unique_ptr<DemoServices> m_demoServices;
    std::filesystem::path m_demoFolder;
};

}  // namespace strivo
