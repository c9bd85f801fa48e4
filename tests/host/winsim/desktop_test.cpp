#include "winsim/desktop.h"

#include "test_support.h"

namespace {

class DesktopTest : public MachineTest {
 protected:
  winsim::Desktop& desktop() { return machine().desktop(); }
};

TEST_F(DesktopTest, FindsTheTopmostWindowIgnoringLetterCase) {
  HWND older = desktop().AddWindow(u"HH Parent", u"vexaWriter Help");
  HWND newer = desktop().AddWindow(u"HH Parent", u"vexaWriter Help");
  desktop().AddWindow(u"Other", u"vexaWriter Help");
  EXPECT_EQ(FindWindowW(L"hh parent", L"VEXAWRITER HELP"), newer);
  EXPECT_EQ(FindWindowW(L"HH Parent", nullptr), newer);
  desktop().DestroyWindow(newer);
  EXPECT_EQ(FindWindowW(L"HH Parent", L"vexaWriter Help"), older);
  EXPECT_EQ(FindWindowW(L"HH Parent", L"vexaWriter Help2"), nullptr);
}

TEST_F(DesktopTest, APostedMessageIsHandledAfterTheWindowsResponseTime) {
  HWND help = desktop().AddWindow(u"HH Parent", u"vexaWriter Help",
                                  winsim::Desktop::ClosesOnSysClose(), 120);
  ASSERT_TRUE(PostMessageW(help, WM_SYSCOMMAND, SC_CLOSE, 0));
  Sleep(119);
  EXPECT_TRUE(IsWindow(help));
  Sleep(1);
  EXPECT_FALSE(IsWindow(help));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(PostMessageW(help, WM_SYSCOMMAND, SC_CLOSE, 0));
  ASSERT_EQ(desktop().posted.size(), 1u);
  EXPECT_EQ(desktop().posted[0].message, static_cast<UINT>(WM_SYSCOMMAND));
}

TEST_F(DesktopTest, AWindowWithoutActorIgnoresWhatIsPosted) {
  HWND stubborn = desktop().AddWindow(u"HH Parent", u"vexaWriter Help");
  PostMessageW(stubborn, WM_SYSCOMMAND, SC_CLOSE, 0);
  Sleep(1000);
  EXPECT_TRUE(IsWindow(stubborn));
}

INT_PTR CALLBACK EndsOnAnyCommand(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) EndDialog(dialog, LOWORD(wParam) + 10);
  return 0;
}

TEST_F(DesktopTest, DialogsNeedTheirTemplateAValidOwnerAndAUser) {
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(7), nullptr, EndsOnAnyCommand, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

  desktop().dialogTemplates[7] = {u"", {{IDOK, u"Button", u"OK", true}}};
  HWND gone = desktop().AddWindow(u"X", u"x");
  desktop().DestroyWindow(gone);
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(7), gone, EndsOnAnyCommand, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));

  // Without a scripted user the dialog would wait forever; the simulation gives up.
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(7), nullptr, EndsOnAnyCommand, 0), -1);
  ASSERT_EQ(desktop().shownDialogs.size(), 1u);
  EXPECT_TRUE(desktop().shownDialogs[0].leftOpen);

  desktop().userActions.push_back(winsim::UserAction::Enter());
  EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(7), nullptr, EndsOnAnyCommand, 0), 11);
  EXPECT_EQ(desktop().WindowCount(), 0u) << "the dialog and its controls are gone";
}

}  // namespace
