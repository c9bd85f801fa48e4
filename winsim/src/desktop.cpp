// The desktop: other programs' windows, posted messages delivered in virtual time, the key
// state, and the user32 calls that look at them.
#include "winsim/desktop.h"

#include "winsim/processes.h"

#include <algorithm>

using winsim::Machine;

namespace winsim {

namespace {
// What a new edit control lets the user type, in characters.
constexpr uint64_t kEditTextLimit = 32767;
}  // namespace

HWND Desktop::NewHandle() {
  HWND handle = reinterpret_cast<HWND>(nextHandle_);
  nextHandle_ += 0x1C;
  return handle;
}

HWND Desktop::AddWindow(const WideText& className, const WideText& title, WindowActor actor,
                        DWORD responseDelayMs, DWORD session) {
  HWND handle = NewHandle();
  windows_.push_back(
      Window{handle, nullptr, 0, className, title, std::move(actor), responseDelayMs, false, 0});
  windows_.back().session = session;
  return handle;
}

void Desktop::DestroyWindow(HWND window) {
  // A window takes its controls with it.
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(),
                                [window](const Window& w) {
                                  return w.handle == window || w.parent == window;
                                }),
                 windows_.end());
}

bool Desktop::Exists(HWND window) const {
  return std::any_of(windows_.begin(), windows_.end(),
                     [window](const Window& w) { return w.handle == window; });
}

WindowActor Desktop::ClosesOnSysClose() {
  return [](Desktop& desktop, HWND self, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) desktop.DestroyWindow(self);
  };
}

void Desktop::DeliverDueMessages() {
  uint64_t now = Machine::Current().ElapsedMilliseconds();
  // Deliver in posting order; an actor may post or destroy windows while it runs.
  for (size_t i = 0; i < pending_.size();) {
    if (pending_[i].dueAt > now) {
      ++i;
      continue;
    }
    PostedMessage message = pending_[i].message;
    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
    Window* target = Lookup(message.window);
    if (target == nullptr || !target->actor) continue;
    WindowActor actor = target->actor;
    actor(*this, message.window, message.message, message.wParam, message.lParam);
  }
}

std::optional<uint64_t> Desktop::NextDeliveryTime() const {
  std::optional<uint64_t> next;
  for (const Delivery& delivery : pending_) {
    if (!next || delivery.dueAt < *next) next = delivery.dueAt;
  }
  return next;
}

void Desktop::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  uint64_t now = Machine::Current().ElapsedMilliseconds();
  PostedMessage posting{window, message, wParam, lParam, now};
  posted.push_back(posting);
  Window* target = Lookup(window);
  pending_.push_back(Delivery{posting, now + (target != nullptr ? target->responseDelayMs : 0)});
}

HWND Desktop::FindTopLevel(const WCHAR* className, const WCHAR* title) const {
  // Only the windows of the caller's session are in reach.
  const DWORD session = Machine::Current().processes().token.session;
  for (auto w = windows_.rbegin(); w != windows_.rend(); ++w) {
    if (w->parent != nullptr || w->session != session) continue;
    if (className != nullptr && !EqualsIgnoringCase(w->className, FromPtr(className))) continue;
    if (title != nullptr && !EqualsIgnoringCase(w->text, FromPtr(title))) continue;
    return w->handle;
  }
  return nullptr;
}

Desktop::Window* Desktop::Lookup(HWND window) {
  for (Window& w : windows_) {
    if (w.handle == window) return &w;
  }
  return nullptr;
}

Desktop::Window* Desktop::Control(HWND dialog, int id) {
  for (Window& w : windows_) {
    if (w.parent == dialog && w.parent != nullptr && w.controlId == id) return &w;
  }
  return nullptr;
}

HWND Desktop::CreateDialogWindow(const DialogTemplate& dialogTemplate) {
  HWND dialog = NewHandle();
  windows_.push_back(
      Window{dialog, nullptr, 0, u"#32770", dialogTemplate.title, nullptr, 0, false, 0});
  for (const DialogControl& control : dialogTemplate.controls) {
    windows_.push_back(Window{NewHandle(), dialog, control.id, control.className, control.text,
                              nullptr, 0, false, 0});
    if (EqualsIgnoringCase(control.className, u"Edit")) windows_.back().textLimit = kEditTextLimit;
  }
  return dialog;
}

}  // namespace winsim

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  winsim::Desktop& desktop = Machine::Current().desktop();
  desktop.DeliverDueMessages();
  HWND found = desktop.FindTopLevel(lpClassName, lpWindowName);
  if (found == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  winsim::PoisonLastError();
  return found;
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  winsim::Desktop& desktop = Machine::Current().desktop();
  desktop.DeliverDueMessages();
  if (!desktop.Exists(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  desktop.Post(hWnd, Msg, wParam, lParam);
  winsim::PoisonLastError();
  return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  winsim::Desktop& desktop = Machine::Current().desktop();
  desktop.DeliverDueMessages();
  if (hWnd == nullptr || !desktop.Exists(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  winsim::PoisonLastError();
  return TRUE;
}

SHORT WINAPI GetAsyncKeyState(int vKey) {
  WINSIM_ENTER_OR_FAIL(0);
  bool shift = vKey == VK_SHIFT || vKey == VK_LSHIFT || vKey == VK_RSHIFT;
  // The most significant bit tells that the key is down now.
  return shift && Machine::Current().desktop().shiftDown ? static_cast<SHORT>(0x8000) : 0;
}
