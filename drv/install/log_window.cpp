#include "log_window.h"

#include "foundation/bounded_format.h"
#include "foundation/install_state.h"
#include "foundation/product.h"
#include "foundation/program_module.h"
#include "resources/resource_ids.h"

namespace {

void InitializeLogWindow(HWND dialog, const InstallState& state) {
  // A new edit control's limit is 32,767 characters, and a print server's log runs far past it:
  // the limit is lifted before the text goes in, so that the control holds the whole log.
  SendDlgItemMessageW(dialog, IDC_LOG_TEXT, EM_SETLIMITTEXT, 0, 0);
  SetDlgItemTextW(dialog, IDC_LOG_TEXT, state.logText.Text());
  WCHAR title[64];
  FormatBoundedV(title, 64, L"vexaWriter build %d- Install%s", kBuildNumber,
                 state.errorCount != 0 ? L" error log!" : L" log.");
  SetWindowTextW(dialog, title);
}

}  // namespace

INT_PTR CALLBACK LogWindowProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitializeLogWindow(dialog, *reinterpret_cast<const InstallState*>(lParam));
      break;  // no initial focus: the log is read, not edited
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, 1);
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      break;
  }
  // Every message also goes to the dialog manager's default handling.
  return 0;
}

void LogWindow(const InstallState& state, HWND owner) {
  DialogBoxParamW(ProgramModule(), MAKEINTRESOURCEW(IDD_LOG_WINDOW), owner, LogWindowProcedure,
                  reinterpret_cast<LPARAM>(&state));
}
