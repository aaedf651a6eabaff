#include "ui/MainDialog.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "../support/Cp936Literal.h"
#include "../support/EventPump.h"
#include "../support/TempFolder.h"
#include "app/DemoServices.h"
#include "sim/CommunitySite.h"
#include "sim/RunService.h"
#include "ui/WxText.h"

bool HaveDisplay();

namespace strivo {
namespace {

using namespace std::chrono_literals;
using test::Gbk;

// What the dialog asked of the desktop.
struct Recorded {
    std::vector<wxString> messages;
    std::vector<wxString> appMessages;
    std::optional<wxString> csvPath;
    bool failThreadStart = false;
};

DialogServices RecordingServices(Recorded& recorded) {
    DialogServices services = DesktopServices();
    services.showMessage = [&recorded](wxWindow*, const wxString& text) {
        recorded.messages.push_back(text);
    };
    services.showAppMessage = [&recorded](const wxString& text) {
        recorded.appMessages.push_back(text);
    };
    services.chooseCsvFile = [&recorded](wxWindow*) { return recorded.csvPath; };
    services.openBrowser = [](const wxString&) {};
    auto start = services.startThread;
    services.startThread = [&recorded, start](std::jthread& thread, auto body) {
        return !recorded.failThreadStart && start(thread, std::move(body));
    };
    return services;
}

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveDisplay()) {
            GTEST_SKIP() << "no X display";
        }
    }

    void TearDown() override {
        if (m_dialog) {
            m_dialog->Close();
            Pump(200ms, [] { return false; });
        }
    }

    void Open(const std::filesystem::path& settingsPath) {
        MainDialogOptions options;
        options.settingsPath = settingsPath;
        options.sessionConfig.cookies = MakeCookieStore();
        m_dialog = new MainDialog(nullptr, options, RecordingServices(m_recorded));
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

    // Runs the event loop until `done` or the time is up.
    template <typename Predicate>
    bool Pump(std::chrono::milliseconds limit, Predicate done) {
        return test::PumpEventsUntil(limit, done);
    }

    bool WaitForStatus(const char* utf8, std::chrono::milliseconds limit = 20s) {
        const wxString wanted = Utf8(utf8);
        return Pump(limit, [&] { return Status() == wanted; });
    }

    test::TempFolder m_folder;
    Recorded m_recorded;
    MainDialog* m_dialog = nullptr;
};

TEST_F(MainDialogTest, DownloadSyncAndExportAgainstTheStandIns) {
    DemoServices demo;
    Open(demo.WriteSettingsFile(m_folder.path()));
    EXPECT_EQ(Status(), Utf8("等待"));
    EXPECT_FALSE(Control<wxButton>(IDC_SYNC)->IsEnabled());
    EXPECT_EQ(m_dialog->GetTitle(), Utf8("Strivo（Nike+） V2.0422"));

    Press(IDC_SERVICE_LOGIN);
    ASSERT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
    auto* list = Control<wxListCtrl>(IDC_RUN_TABLE);
    EXPECT_TRUE(Pump(5s, [&] { return list->GetItemCount() == 24; }));
    EXPECT_EQ(list->GetItemText(0, 0), "1");
    EXPECT_TRUE(Control<wxButton>(IDC_SYNC)->IsEnabled());
    EXPECT_FALSE(Control<wxButton>(IDC_SERVICE_LOGIN)->IsEnabled());
    EXPECT_TRUE(Control<wxStaticText>(IDC_SUMMARY)->GetLabel().Contains(Utf8("您已完成")));

    Press(IDC_SYNC);
    ASSERT_TRUE(WaitForStatus("同步到Strivo成功！")) << Status();
    EXPECT_EQ(demo.siteEntryCount(), 24u) << "every run is on the site";

    m_recorded.csvPath = wxString::FromUTF8((m_folder / "runs.csv").string());
    Press(IDC_EXPORT);
    EXPECT_EQ(Status(), Utf8("成功导出数据到 ") + *m_recorded.csvPath);
    const std::string csv = test::ReadFile(m_folder / "runs.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 24);
    EXPECT_TRUE(m_recorded.messages.empty());
}

TEST_F(MainDialogTest, EmptyFieldsAskAndNothingStarts) {
    Open(m_folder / "config.ini");
    Press(IDC_REFRESH);
    ASSERT_EQ(m_recorded.messages.size(), 1u);
    EXPECT_EQ(m_recorded.messages[0], Utf8("请输入Nike+登陆邮件地址或用户名。"));
    EXPECT_EQ(Status(), Utf8("等待"));

    Press(IDC_EXPORT);
    ASSERT_EQ(m_recorded.messages.size(), 2u);
    EXPECT_EQ(m_recorded.messages[1], Utf8("没有任何需要导出的数据！"));
}

TEST_F(MainDialogTest, ThreadThatCannotStartLeavesTheButtons) {
    test::WriteFile(m_folder / "config.ini", "[nike+]\r\nuser=a\r\npwd=b\r\n");
    Open(m_folder / "config.ini");
    m_recorded.failThreadStart = true;
    Press(IDC_SERVICE_LOGIN);
    ASSERT_EQ(m_recorded.appMessages.size(), 1u);
    EXPECT_EQ(m_recorded.appMessages[0], "Cannot Start New Thread");
    EXPECT_TRUE(Control<wxButton>(IDC_SERVICE_LOGIN)->IsEnabled());
    EXPECT_TRUE(Control<wxButton>(IDC_REFRESH)->IsEnabled());
    EXPECT_EQ(Status(), Utf8("等待"));
}

TEST_F(MainDialogTest, EnterAndEscapeAreDropped) {
    Open(m_folder / "config.ini");
    for (const int key : {WXK_RETURN, WXK_NUMPAD_ENTER, WXK_ESCAPE}) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = key;
        event.SetEventObject(m_dialog);
        m_dialog->GetEventHandler()->ProcessEvent(event);
        EXPECT_FALSE(event.GetSkipped()) << "key " << key << " must go no further";
    }
    wxKeyEvent space(wxEVT_CHAR_HOOK);
    space.m_keyCode = WXK_SPACE;
    m_dialog->GetEventHandler()->ProcessEvent(space);
    EXPECT_TRUE(space.GetSkipped()) << "the space bar still presses a focused button";
    Pump(100ms, [] { return false; });
    EXPECT_TRUE(m_dialog->IsShown());
}

TEST_F(MainDialogTest, ClosingDuringALongSyncIsCleanAndQuick) {
    sim::ServiceAccount account = sim::DemoServiceAccount();
    account.runs = sim::GenerateRuns(2000, 7);
    sim::RunService service(account);
    service.Start();
    sim::CommunitySite site(sim::DemoSiteAccount());
    sim::Fault slow;
    slow.path = "/runlogger.php";
    slow.delay = 20ms;
    site.AddFault(slow);
    site.Start();

    std::ofstream(m_folder / "ca.pem") << service.certificatePem();
    test::WriteFile(m_folder / "config.ini",
                    "[nike+]\r\nuser=" + Utf8ToCp936(account.login) +
                        "\r\npwd=" + Utf8ToCp936(account.password) +
                        "\r\nhost=127.0.0.1\r\nhttps_port=" + std::to_string(service.httpsPort()) +
                        "\r\nhttp_port=" + std::to_string(service.httpPort()) +
                        "\r\ncafile=" + (m_folder / "ca.pem").string() + "\r\n[kelvora]\r\nuser=" +
                        site.account().user + "\r\npwd=" + site.account().password +
                        "\r\nhost=127.0.0.1\r\nhttp_port=" + std::to_string(site.port()) + "\r\n");
    Open(m_folder / "config.ini");
    Press(IDC_SERVICE_LOGIN);
    ASSERT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
    Press(IDC_SYNC);
    ASSERT_TRUE(Pump(20s, [&] { return site.entries().size() >= 5; }));

    const auto start = std::chrono::steady_clock::now();
    m_dialog->Close();
    m_dialog = nullptr;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    Pump(100ms, [] { return false; });
    EXPECT_LT(site.entries().size(), 2000u);
    EXPECT_EQ(test::ReadFile(m_folder / "config.ini").find("user=" + Utf8ToCp936(account.login)) !=
                  std::string::npos,
              true)
        << "the user names are saved when the window goes";
}

}  // namespace
}  // namespace strivo
