// UniqueResource: the one owner type for platform handles and blocks. Move-only; closes what
// it holds when it goes out of scope or is reset, without disturbing the thread's last error,
// so that a failure can be reported after the handles of the failed step are closed.
#pragma once

#include <windows.h>

// Traits give the handle type, its empty value and its close function.
template <typename Traits>
class UniqueResource {
 public:
  using Handle = typename Traits::Handle;

  UniqueResource() = default;
  explicit UniqueResource(Handle handle) : handle_(handle) {}
  ~UniqueResource() { reset(); }
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != Traits::Empty(); }
  explicit operator bool() const { return valid(); }

  void reset(Handle handle = Traits::Empty()) {
    if (valid()) {
      DWORD lastError = GetLastError();
      Traits::Close(handle_);
      SetLastError(lastError);
    }
    handle_ = handle;
  }
  Handle release() {
    Handle handle = handle_;
    handle_ = Traits::Empty();
    return handle;
  }
  // For calls that return the handle through a pointer: closes what is held first.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Empty();
};
