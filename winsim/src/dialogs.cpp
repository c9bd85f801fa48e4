// Modal dialogs: DialogBoxParamW with a scripted user, EndDialog, and the text setters the
// dialog procedure uses.
#include <stdio.h>

#include "winsim/desktop.h"
#include "winsim/mutexes.h"
#include "winsim/processes.h"

using winsim::Desktop;
using winsim::Machine;
using winsim::UserAction;

namespace {

bool Ended(Desktop& desktop, HWND dialog) {
  Desktop::Window* window = desktop.Lookup(dialog);
  return window == nullptr || window->dialogEnded;
}

// A command as a button or the dialog manager sends it: the control's identifier, the
// notification code, and the control's handle (null when the dialog has no such control).
void SendCommand(Desktop& desktop, HWND dialog, DLGPROC procedure, int id) {
  Desktop::Window* control = desktop.Control(dialog, id);
  HWND controlHandle = control != nullptr ? control->handle : nullptr;
  procedure(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
            reinterpret_cast<LPARAM>(controlHandle));
}

void Perform(Desktop& desktop, HWND dialog, DLGPROC procedure, const winsim::DialogTemplate& dlg,
             const UserAction& action) {
  switch (action.kind) {
    case UserAction::PressEnter: {
      // Enter presses the default push button, or IDOK when there is none.
      int id = IDOK;
      for (const winsim::DialogControl& control : dlg.controls) {
        if (control.defaultButton) id = control.id;
      }
      SendCommand(desktop, dialog, procedure, id);
      break;
    }
    case UserAction::PressEscape:
      SendCommand(desktop, dialog, procedure, IDCANCEL);
      break;
    case UserAction::ClickButton:
      SendCommand(desktop, dialog, procedure, action.controlId);
      break;
    case UserAction::CaptionCloseBox:
      // Unhandled, SC_CLOSE becomes WM_CLOSE, and an unhandled WM_CLOSE becomes IDCANCEL.
      if (procedure(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) != 0 || Ended(desktop, dialog)) break;
      if (procedure(dialog, WM_CLOSE, 0, 0) != 0 || Ended(desktop, dialog)) break;
      SendCommand(desktop, dialog, procedure, IDCANCEL);
      break;
  }
}

}  // namespace

INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  WINSIM_ENTER_OR_FAIL(-1);
  Desktop& desktop = Machine::Current().desktop();
  desktop.DeliverDueMessages();
  // Templates live in the program's own module (a null module means the program as well).
  bool ownModule = hInstance == nullptr || hInstance == winsim::Processes::ProgramModule();
  WORD id = IS_INTRESOURCE(lpTemplateName) ? LOWORD(lpTemplateName) : 0;
  auto found = desktop.dialogTemplates.find(id);
  if (!ownModule || id == 0 || found == desktop.dialogTemplates.end()) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  if (hWndParent != nullptr && !desktop.Exists(hWndParent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  if (lpDialogFunc == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  const winsim::DialogTemplate dialogTemplate = found->second;
  HWND dialog = desktop.CreateDialogWindow(dialogTemplate);

  // The first control is the one offered the keyboard focus.
  HWND firstControl = nullptr;
  if (!dialogTemplate.controls.empty()) {
    firstControl = desktop.Control(dialog, dialogTemplate.controls.front().id)->handle;
  }
  lpDialogFunc(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstControl), dwInitParam);

  winsim::ShownDialog shown;
  shown.templateId = id;
  shown.owner = hWndParent;
  shown.mutexesOwned = Machine::Current().mutexes().OwnedBy(winsim::Processes::kProgramProcessId);
  while (!Ended(desktop, dialog)) {
    if (desktop.userActions.empty()) {
      fprintf(stderr, "winsim: dialog %u is still open and the user has nothing more to do\n",
              static_cast<unsigned>(id));
      shown.leftOpen = true;
      break;
    }
    UserAction action = desktop.userActions.front();
    desktop.userActions.pop_front();
    Perform(desktop, dialog, lpDialogFunc, dialogTemplate, action);
  }

  Desktop::Window* window = desktop.Lookup(dialog);
  shown.title = window->text;
  shown.result = shown.leftOpen ? -1 : window->dialogResult;
  for (const winsim::DialogControl& control : dialogTemplate.controls) {
    const Desktop::Window* item = desktop.Control(dialog, control.id);
    shown.itemTexts[control.id] = item->text;
    if (item->textLimit != 0) shown.textLimits[control.id] = item->textLimit;
  }
  lpDialogFunc(dialog, WM_DESTROY, 0, 0);
  desktop.DestroyWindow(dialog);
  desktop.shownDialogs.push_back(shown);
  winsim::PoisonLastError();
  return shown.result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Desktop::Window* window = Machine::Current().desktop().Lookup(hDlg);
  if (window == nullptr || window->parent != nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  window->dialogEnded = true;
  window->dialogResult = nResult;
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Desktop& desktop = Machine::Current().desktop();
  if (desktop.Lookup(hDlg) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Desktop::Window* control = desktop.Control(hDlg, nIDDlgItem);
  if (control == nullptr) {
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return FALSE;
  }
  control->text = winsim::FromPtr(lpString);
  winsim::PoisonLastError();
  return TRUE;
}

LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM /*lParam*/) {
  WINSIM_ENTER_OR_FAIL(0);
  Desktop& desktop = Machine::Current().desktop();
  if (desktop.Lookup(hDlg) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  Desktop::Window* control = desktop.Control(hDlg, nIDDlgItem);
  if (control == nullptr) {
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return 0;
  }
  winsim::PoisonLastError();
  if (control->textLimit == 0) return 0;  // not an edit control
  // Zero lifts the limit (the templates' edit controls are multi-line); the text already there
  // stays whole either way.
  if (Msg == EM_SETLIMITTEXT) control->textLimit = wParam != 0 ? wParam : 0xFFFFFFFFu;
  if (Msg == EM_GETLIMITTEXT) return static_cast<LRESULT>(control->textLimit);
  return 0;
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  Desktop::Window* window = Machine::Current().desktop().Lookup(hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  window->text = winsim::FromPtr(lpString);
  winsim::PoisonLastError();
  return TRUE;
}
