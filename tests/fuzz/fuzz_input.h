// Reading a fuzz input as a sequence of choices, for the targets that stage a simulated machine
// from it: bytes (0 once the input is used up), and texts that are one of a few fragments the
// installer compares against (so that matches happen), raw UTF-16 units, a text far longer
// than any buffer the installer has, or empty.
#pragma once

#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "winsim/machine.h"
#include "winsim/text.h"

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  size_t Remaining() const { return size_ - at_; }
  // Up to `count` bytes, fewer when the input ends.
  std::vector<BYTE> Bytes(size_t count) {
    if (count > Remaining()) count = Remaining();
    std::vector<BYTE> bytes(data_ + at_, data_ + at_ + count);
    at_ += count;
    return bytes;
  }
  std::vector<BYTE> Rest() { return Bytes(Remaining()); }

  winsim::WideText Text(const std::vector<winsim::WideText>& fragments) {
    uint8_t choice = Byte();
    switch (choice & 3) {
      case 0:
        return fragments.empty() ? winsim::WideText() : fragments[(choice >> 2) % fragments.size()];
      case 1: {
        winsim::WideText text;
        for (size_t n = Byte(); n > 0 && Remaining() > 0; --n) {
          uint8_t low = Byte();
          text.push_back(static_cast<char16_t>(low | (Byte() << 8)));
        }
        return text;
      }
      case 2: {
        // Past MAX_PATH, the log line and the formatter's buffers.
        size_t length = 250 + static_cast<size_t>(choice >> 2) * 150;
        winsim::WideText text = fragments.empty() ? u"x" : fragments[choice % fragments.size()];
        while (text.size() < length) text += u"A\\";
        return text;
      }
      default:
        return winsim::WideText();
    }
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

inline void FuzzFail(const char* target, const char* what) {
  fprintf(stderr, "%s: %s\n", target, what);
  abort();
}

// What every input must leave behind: no global or local block, no open handle.
inline void CheckNothingLeft(const char* target, winsim::Machine& machine) {
  if (machine.OutstandingGlobalBlocks() != 0) FuzzFail(target, "a global block was left behind");
  if (machine.OutstandingLocalBlocks() != 0) FuzzFail(target, "a local block was left behind");
  if (machine.OpenHandleCount() != 0) FuzzFail(target, "a handle was left open");
}
