#include "bounded_format.h"

#include <stdint.h>

namespace {

class BoundedWriter {
 public:
  BoundedWriter(WCHAR* buffer, size_t capacity) : buffer_(buffer), limit_(capacity - 1) {}

  void Put(WCHAR unit) {
    if (full_) return;
    if (length_ == limit_) {
      full_ = true;
      return;
    }
    buffer_[length_++] = unit;
  }

  void PutText(const WCHAR* text) {
    if (text == nullptr) return;
    for (; *text != 0 && !full_; ++text) Put(*text);
  }

  void PutNumber(uint32_t value, unsigned base, bool upper, bool negative) {
    WCHAR digits[16];
    int count = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
      digits[count++] = static_cast<WCHAR>(set[value % base]);
      value /= base;
    } while (value != 0);
    if (negative) Put(L'-');
    while (count > 0) Put(digits[--count]);
  }

  size_t Finish() {
    // A high surrogate whose partner did not fit would leave half a character.
    if (full_ && length_ > 0 && IsHighSurrogate(buffer_[length_ - 1])) --length_;
    buffer_[length_] = 0;
    return length_;
  }

 private:
  static bool IsHighSurrogate(WCHAR unit) { return unit >= 0xD800 && unit < 0xDC00; }

  WCHAR* buffer_;
  size_t limit_;
  size_t length_ = 0;
  bool full_ = false;
};

}  // namespace

size_t FormatBounded(WCHAR* buffer, size_t capacity, const WCHAR* format, va_list args) {
  if (buffer == nullptr || capacity == 0) return 0;
  BoundedWriter out(buffer, capacity);
  if (format == nullptr) return out.Finish();
  for (const WCHAR* p = format; *p != 0; ++p) {
    if (*p != L'%') {
      out.Put(*p);
      continue;
    }
    WCHAR directive = p[1];
    if (directive == 0) {
      out.Put(L'%');
      break;
    }
    ++p;
    switch (directive) {
      case L's':
        out.PutText(va_arg(args, const WCHAR*));
        break;
      case L'd': {
        int32_t value = va_arg(args, int32_t);
        uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : value;
        out.PutNumber(magnitude, 10, false, value < 0);
        break;
      }
      case L'u':
        out.PutNumber(va_arg(args, uint32_t), 10, false, false);
        break;
      case L'x':
      case L'X':
        out.PutNumber(va_arg(args, uint32_t), 16, directive == L'X', false);
        break;
      case L'%':
        out.Put(L'%');
        break;
      default:
        out.Put(L'%');
        out.Put(directive);
        break;
    }
  }
  return out.Finish();
}

size_t FormatBoundedV(WCHAR* buffer, size_t capacity, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  size_t length = FormatBounded(buffer, capacity, format, args);
  va_end(args);
  return length;
}
