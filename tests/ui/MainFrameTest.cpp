// The main window is a frame for its menu bar, and keeps what the dialog it
// was gave: its size and places, its focus and tab order, Enter and Escape
// that do nothing, a program that ends with it.
#include <gtest/gtest.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include "WindowTestFixture.h"
#include "ui/wx/DialogLayout.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using test::MainDialogTest;

// The window is a frame for its menu bar, and otherwise the dialog it was:
// its controls where they were, the window taller by the bar alone; the
// focus and the tab order as before; Enter and Escape do nothing.
TEST_F(MainDialogTest, TheMenuBarAddsItsHeightAndNothingElseChanges) {
    Open(m_folder / "config.ini", test::StandInServices());
    EXPECT_EQ(m_dialog->GetTitle(), Utf8("Strivo（Nike+） V2.0422"));
    wxMenuBar* bar = m_dialog->GetMenuBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->GetMenuCount(), 3u);
    EXPECT_EQ(bar->GetMenuLabel(0) + bar->GetMenuLabel(1) + bar->GetMenuLabel(2),
              Utf8("文件(&F)跑步记录(&R)帮助(&H)"));
    EXPECT_EQ(bar->GetMenu(0)->GetMenuItems()[0]->GetItemLabel(), Utf8("导入跑步文件…\tCtrl+O"));
    EXPECT_EQ(bar->GetMenu(1)->GetMenuItems()[0]->GetItemLabel(), Utf8("跑步日志…\tCtrl+L"));
    const wxSize client = m_dialog->GetClientSize(), whole = m_dialog->GetSize();
    EXPECT_EQ(client, ToPixels(m_dialog, {0, 0, 432, 299}).GetSize());
    EXPECT_GT(bar->GetSize().y, 10);
    EXPECT_EQ(whole.y - client.y - (whole.x - client.x), bar->GetSize().y);
    wxWindow* list = Control<wxWindow>(IDC_RUN_TABLE);
    wxWindow* panel = list->GetParent();
    EXPECT_EQ(panel->GetRect(), wxRect(client));
    EXPECT_EQ(list->GetRect(), ToPixels(panel, {7, 116, 418, 157}));

    // Tab goes round the controls in the template's order, from the first;
    // the sync button, greyed, is passed over.
    const auto focused = [&] {
        wxWindow* focus = wxWindow::FindFocus();
        while (focus != nullptr && focus->GetParent() != panel) {
            focus = focus->GetParent();
        }
        return focus != nullptr ? focus->GetId() : 0;
    };
    std::vector<int> order = {focused()};
    for (int i = 0; i < 10; ++i) {
        wxWindow::FindFocus()->Navigate();
        Pump(20ms, [] { return false; });
        order.push_back(focused());
    }
    EXPECT_EQ(order,
              (std::vector<int>{IDC_SERVICE_LOGIN, IDC_SERVICE_USER, IDC_SERVICE_PASSWORD,
                                IDC_SITE_USER, IDC_SITE_PASSWORD, IDC_REFRESH, IDC_EXPORT,
                                IDC_RUN_TABLE, IDC_VISIT_SITE, IDC_ABOUT, IDC_SERVICE_LOGIN}));

    // Enter and Escape go no further; the space bar still presses a focused button.
    for (const int key : {WXK_RETURN, WXK_NUMPAD_ENTER, WXK_ESCAPE, WXK_SPACE}) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = key;
        event.SetEventObject(m_dialog);
        m_dialog->GetEventHandler()->ProcessEvent(event);
        EXPECT_EQ(event.GetSkipped(), key == WXK_SPACE) << "key " << key;
    }
    Press(IDC_REFRESH);
    EXPECT_EQ(m_dialog->messages, std::vector<wxString>{Utf8("请输入Nike+登陆邮件地址或用户名。")})
        << "the buttons reach the controller";
    // The run log, with no Nike+ user in the field, says what to do.
    EXPECT_TRUE(ChooseFromMenuBar("跑步日志…"));
    ASSERT_NE(m_dialog->runLog.get(), nullptr);
    EXPECT_EQ(m_dialog->runLog->footer()->GetLabel(),
              Utf8("请在主窗口输入 Nike+ 用户名，以查看其跑步记录"));
    EXPECT_TRUE(ChooseFromMenuBar("关于 Strivo…"));
    EXPECT_EQ(m_dialog->abouts, 1);
    Pump(100ms, [] { return false; });
    EXPECT_TRUE(m_dialog->IsShown());
}

// The program lives as long as its window: 退出, as the close box, ends the
// application's own loop once the window has gone. Once that loop has run,
// a window that goes ends nothing, as no loop runs.
TEST_F(MainDialogTest, ExitEndsTheProgram) {
    Open(m_folder / "config.ini", test::StandInServices());
    bool lingered = false;
    wxTimer watchdog;
    watchdog.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        lingered = true;
        wxTheApp->ExitMainLoop();
    });
    watchdog.StartOnce(10000);
    m_dialog->CallAfter([this] {
        ChooseFromMenuBar("退出");
        m_dialog = nullptr;  // gone by itself
    });
    wxTheApp->OnRun();
    EXPECT_FALSE(lingered);
    EXPECT_TRUE(wxTopLevelWindows.empty());
}

}  // namespace
}  // namespace strivo
