// Simulated desktop: top-level windows of other programs, messages posted to them, the
// keyboard state, and modal dialogs with a scripted user.
//
// Windows of other programs are scripted by the test: each has a class, a title and an actor,
// the code that handles what is posted to it. A posted message reaches its window's actor once
// the window's response delay of virtual time has passed, on the next desktop call that looks
// at windows (as another program would handle it in its own time). Window handles are not
// kernel handles: the program never closes them, so they stay out of the handle accounting.
//
// A modal dialog (DialogBoxParamW) is built from a template registered under its resource
// number; its procedure receives WM_INITDIALOG, then the scripted user actions one by one until
// it calls EndDialog. Each dialog shown is recorded with its final title and item texts.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include "winsim/security.h"
#include "winsim/text.h"

namespace winsim {

class Desktop;

// Handles one message posted to the window `self`.
using WindowActor =
    std::function<void(Desktop& desktop, HWND self, UINT message, WPARAM wParam, LPARAM lParam)>;

struct PostedMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  uint64_t postedAt;  // virtual time
};

struct DialogControl {
  int id;
  WideText className;
  WideText text;
  bool defaultButton = false;
};

struct DialogTemplate {
  WideText title;
  std::vector<DialogControl> controls;  // in tab order
};

// What the user does while a modal dialog waits.
struct UserAction {
  enum Kind {
    PressEnter,       // the default button's command
    PressEscape,      // IDCANCEL
    ClickButton,      // the button with controlId
    CaptionCloseBox,  // WM_SYSCOMMAND SC_CLOSE, then the dialog manager's defaults
  };
  Kind kind;
  int controlId = 0;

  static UserAction Enter() { return {PressEnter}; }
  static UserAction Escape() { return {PressEscape}; }
  static UserAction Click(int id) { return {ClickButton, id}; }
  static UserAction CloseBox() { return {CaptionCloseBox}; }
};

// One modal dialog as it was when it closed.
struct ShownDialog {
  WORD templateId = 0;
  HWND owner = nullptr;
  WideText title;
  std::map<int, WideText> itemTexts;
  // Edit controls' text limits (what the user may type; WM_SETTEXT is not cut to it).
  std::map<int, uint64_t> textLimits;
  INT_PTR result = 0;
  // The scripted actions ran out before the dialog ended: the platform would have waited
  // forever; the simulation ends the call with -1 instead.
  bool leftOpen = false;
  // The named mutexes the program owned while the dialog waited for the user.
  std::vector<std::string> mutexesOwned;
};

class Desktop {
 public:
  // A top-level window of another program, in a session's desktop. A null actor ignores every
  // message.
  HWND AddWindow(const WideText& className, const WideText& title, WindowActor actor = nullptr,
                 DWORD responseDelayMs = 0, DWORD session = kProgramSession);
  void DestroyWindow(HWND window);
  bool Exists(HWND window) const;
  size_t WindowCount() const { return windows_.size(); }

  // Actor of a help viewer window: closes on WM_SYSCOMMAND SC_CLOSE.
  static WindowActor ClosesOnSysClose();

  // Hands every posted message whose time has come to its window's actor.
  void DeliverDueMessages();
  // When the next posted message is due; nothing when none waits. Waits run the clock to it.
  std::optional<uint64_t> NextDeliveryTime() const;
  void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The topmost top-level window of the calling process's session matching class and title (null
  // matches any; letter case is ignored, as the platform does); null when there is none.
  HWND FindTopLevel(const WCHAR* className, const WCHAR* title) const;

  // Every message posted so far, in order.
  std::vector<PostedMessage> posted;

  // Key state GetAsyncKeyState reports for Shift.
  bool shiftDown = false;

  // Whether the program's window station is the one a user sees (WSF_VISIBLE). A program run
  // as a service, or by a fleet tool in the services session, has an invisible one.
  bool windowStationVisible = true;

  // Dialog templates of the program's module, by resource number.
  std::map<WORD, DialogTemplate> dialogTemplates;
  // What the user does in the dialogs to come, in order.
  std::deque<UserAction> userActions;
  std::vector<ShownDialog> shownDialogs;

  // For the user32 calls: the windows' text and the state of running dialogs.
  struct Window {
    HWND handle;
    HWND parent;  // the dialog of a control; null for top-level windows
    int controlId;
    WideText className;
    WideText text;
    WindowActor actor;
    DWORD responseDelayMs;
    bool dialogEnded;
    INT_PTR dialogResult;
    // Edit controls: 32,767 characters until EM_SETLIMITTEXT; 0 for other windows.
    uint64_t textLimit = 0;
    DWORD session = kProgramSession;
  };
  Window* Lookup(HWND window);
  Window* Control(HWND dialog, int id);
  HWND CreateDialogWindow(const DialogTemplate& dialogTemplate);

 private:
  struct Delivery {
    PostedMessage message;
    uint64_t dueAt;
  };
  HWND NewHandle();

  std::vector<Window> windows_;  // creation order; the last is topmost
  std::deque<Delivery> pending_;
  uintptr_t nextHandle_ = 0x10010;
};

}  // namespace winsim
