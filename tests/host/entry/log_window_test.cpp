#include "log_window.h"

#include "entry_fixture.h"
#include "foundation/install_state.h"
#include "help_windows.h"

namespace {

class LogWindowTest : public EntryTest {
 protected:
  InstallState state;
};

TEST_F(LogWindowTest, TheTitleTellsWhetherErrorsWereReported) {
  state.logText.Assign(L"vexaWriter 2609\r\n");
  desktop().userActions = {winsim::UserAction::Enter(), winsim::UserAction::Enter()};
  LogWindow(state, nullptr);
  state.errorCount = 2;
  LogWindow(state, nullptr);
  EXPECT_EQ(DialogTitle(0), "vexaWriter build 2609- Install log.");
  EXPECT_EQ(DialogTitle(1), "vexaWriter build 2609- Install error log!");
  EXPECT_EQ(DialogLog(1), "vexaWriter 2609\r\n");
  EXPECT_GT(desktop().shownDialogs.at(1).textLimits.at(IDC_LOG_TEXT), 0xFFFFFFu)
      << "a print server's log is longer than an edit control's default limit";
}

TEST_F(LogWindowTest, AnEmptyLogShowsAnEmptyText) {
  desktop().userActions = {winsim::UserAction::Escape()};
  LogWindow(state, nullptr);
  EXPECT_EQ(DialogLog(), "");
}

TEST_F(LogWindowTest, EveryWayOfClosingEndsTheDialog) {
  struct Case {
    const char* name;
    winsim::UserAction action;
    INT_PTR result;
  } cases[] = {
      {"Enter", winsim::UserAction::Enter(), 1},
      {"Close button", winsim::UserAction::Click(IDOK), 1},
      {"Escape", winsim::UserAction::Escape(), 0},
      {"caption close box", winsim::UserAction::CloseBox(), 0},
  };
  size_t shown = 0;
  for (const Case& c : cases) {
    desktop().userActions = {c.action};
    LogWindow(state, nullptr);
    ASSERT_EQ(desktop().shownDialogs.size(), ++shown) << c.name;
    EXPECT_FALSE(desktop().shownDialogs.back().leftOpen) << c.name;
    EXPECT_EQ(desktop().shownDialogs.back().result, c.result) << c.name;
  }
  EXPECT_EQ(desktop().WindowCount(), 0u);
}

TEST_F(LogWindowTest, OtherCommandsLeaveTheDialogOpen) {
  desktop().userActions = {winsim::UserAction::Click(IDC_LOG_TEXT), winsim::UserAction::Escape()};
  LogWindow(state, nullptr);
  EXPECT_TRUE(desktop().userActions.empty()) << "the second action was needed";
  EXPECT_EQ(desktop().shownDialogs.back().result, 0);
}

class HelpWindowsTest : public EntryTest {
 protected:
  HWND AddHelpWindow(const char16_t* title, winsim::WindowActor actor, DWORD delay = 0) {
    return desktop().AddWindow(u"HH Parent", title, std::move(actor), delay);
  }
};

TEST_F(HelpWindowsTest, WithNoHelpWindowOneSearchIsEnough) {
  CloseHelpWindows();
  EXPECT_EQ(machine().CallCount("FindWindowW"), 1u);
  EXPECT_EQ(machine().SleepCount(), 0u);
}

TEST_F(HelpWindowsTest, ClosesEachHelpWindowWaiting50msAfterEachRequest) {
  HWND first = AddHelpWindow(u"vexaWriter Help", winsim::Desktop::ClosesOnSysClose());
  HWND second = AddHelpWindow(u"vexaWriter Help", winsim::Desktop::ClosesOnSysClose());
  HWND other = AddHelpWindow(u"Other Help", winsim::Desktop::ClosesOnSysClose());
  HWND otherClass = desktop().AddWindow(u"Notepad", u"vexaWriter Help");
  CloseHelpWindows();
  EXPECT_FALSE(desktop().Exists(first));
  EXPECT_FALSE(desktop().Exists(second));
  EXPECT_TRUE(desktop().Exists(other));
  EXPECT_TRUE(desktop().Exists(otherClass));
  ASSERT_EQ(desktop().posted.size(), 2u);
  EXPECT_EQ(desktop().posted[0].window, second) << "the topmost first";
  EXPECT_EQ(desktop().posted[1].window, first);
  for (const winsim::PostedMessage& posted : desktop().posted) {
    EXPECT_EQ(posted.message, static_cast<UINT>(WM_SYSCOMMAND));
    EXPECT_EQ(posted.wParam, static_cast<WPARAM>(SC_CLOSE));
    EXPECT_EQ(posted.lParam, 0);
  }
  EXPECT_EQ(desktop().posted[1].postedAt - desktop().posted[0].postedAt, 50u);
  EXPECT_EQ(machine().SleepCount(), 2u);
  EXPECT_EQ(machine().ElapsedMilliseconds(), 100u);
}

TEST_F(HelpWindowsTest, ASlowWindowIsAskedAgainUntilItCloses) {
  HWND slow = AddHelpWindow(u"vexaWriter Help", winsim::Desktop::ClosesOnSysClose(), 120);
  CloseHelpWindows();
  EXPECT_FALSE(desktop().Exists(slow));
  EXPECT_EQ(desktop().posted.size(), 3u);
  EXPECT_EQ(machine().ElapsedMilliseconds(), 150u);
}

TEST_F(HelpWindowsTest, AWindowThatNeverClosesIsGivenUpAfterAboutFiveSeconds) {
  HWND stubborn = AddHelpWindow(u"vexaWriter Help", nullptr);
  CloseHelpWindows();
  EXPECT_TRUE(desktop().Exists(stubborn));
  EXPECT_EQ(desktop().posted.size(), 100u);
  EXPECT_EQ(machine().ElapsedMilliseconds(), 5000u);
}

}  // namespace
