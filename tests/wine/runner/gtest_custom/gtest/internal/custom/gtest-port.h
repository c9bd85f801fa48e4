// GoogleTest's hook for platform customisation, found ahead of the stock (empty) header.
//
// The win32 thread model of the cross compiler has no std::mutex or std::condition_variable,
// which GoogleTest's own Notification is built on; this one waits on a Windows event instead.
// Everything else thread-related in GoogleTest already uses Windows primitives.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { ::CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { ::SetEvent(event_); }
  void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing
