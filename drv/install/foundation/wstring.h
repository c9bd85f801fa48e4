// WString: the program's one owned, counted wide string.
//
// One pointer to a runtime-heap block holding a 64-bit length, the UTF-16 units and a zero
// unit; the null pointer is the empty string, and no block ever has length 0. A block for
// length n has room for n + 1 units rounded up to a multiple of 32, so a string that grows by
// appends is reallocated only when it crosses into the next multiple of 32. The capacity is
// computed from the length, never stored.
//
// If the heap refuses a block, the operation leaves the string as it was (Resize returns
// false) rather than writing through a null pointer.
#pragma once

#include <windows.h>

#include <stdint.h>

class WString {
 public:
  WString() = default;
  ~WString() { Release(); }
  WString(WString&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  WString& operator=(WString&& other) noexcept;
  WString(const WString&) = delete;
  WString& operator=(const WString&) = delete;

  // Sets the length to n; the first min(old, n) characters stay, later ones are the caller's to
  // fill through Data(). n = 0 frees the block.
  bool Resize(uint64_t length);
  static WString FromNarrow(const char* text);
  void Assign(const WCHAR* text);
  void Append(const WCHAR* text);
  void AppendNarrow(const char* text);
  WString ParentDirectory() const;
  void Format(const WCHAR* format, ...);
  WString Copy() const;
  void Release();

  // Never null: the empty string yields a static empty text.
  const WCHAR* Text() const;
  uint64_t Length() const;
  // The characters, for filling after Resize; null for the empty string.
  WCHAR* Data();

  // Units a block for this length has room for, terminator included: 32, or the power of two
  // that holds it, so that a string grown one line at a time (a print server's log runs to
  // megabytes) is copied a number of times that grows with the logarithm of its length.
  static uint64_t CapacityFor(uint64_t length) {
    uint64_t capacity = 32;
    while (capacity < length + 1) capacity *= 2;
    return capacity;
  }

  struct HeapCounters {
    uint64_t allocations;
    uint64_t reallocations;
    uint64_t frees;
  };
  // Heap operations of all strings so far; the benchmark reads them.
  static const HeapCounters& Counters();

 private:
  void AppendUnits(const WCHAR* units, uint64_t count);

  void* block_ = nullptr;
};
