#include "wstring.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "bounded_format.h"

namespace {

const WCHAR kEmptyText[1] = {0};
constexpr size_t kFormatBufferUnits = 8192;
WString::HeapCounters g_counters = {0, 0, 0};

struct Block {
  uint64_t length;
  WCHAR units[1];
};

size_t BlockBytes(uint64_t length) {
  return offsetof(Block, units) + WString::CapacityFor(length) * sizeof(WCHAR);
}

Block* AsBlock(void* block) {
  return static_cast<Block*>(block);
}

uint64_t UnitCount(const WCHAR* text) {
  uint64_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

WString& WString::operator=(WString&& other) noexcept {
  if (this != &other) {
    Release();
    block_ = other.block_;
    other.block_ = nullptr;
  }
  return *this;
}

const WString::HeapCounters& WString::Counters() {
  return g_counters;
}

bool WString::Resize(uint64_t length) {
  if (length == 0) {
    Release();
    return true;
  }
  size_t newBytes = BlockBytes(length);
  size_t oldBytes = block_ != nullptr ? BlockBytes(AsBlock(block_)->length) : 0;
  if (newBytes != oldBytes) {
    void* moved = block_ != nullptr ? realloc(block_, newBytes) : malloc(newBytes);
    if (moved == nullptr) return false;
    ++(block_ != nullptr ? g_counters.reallocations : g_counters.allocations);
    block_ = moved;
  }
  AsBlock(block_)->units[length] = 0;
  AsBlock(block_)->length = length;
  return true;
}

WString WString::FromNarrow(const char* text) {
  WString result;
  if (text == nullptr) return result;
  int needed = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
  if (needed < 2) return result;
  if (!result.Resize(static_cast<uint64_t>(needed) - 1)) return result;
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, result.Data(), needed) == 0) {
    result.Release();
  }
  return result;
}

void WString::Assign(const WCHAR* text) {
  if (text == nullptr || text[0] == 0) {
    Release();
    return;
  }
  uint64_t length = UnitCount(text);
  if (!Resize(length)) return;
  memmove(AsBlock(block_)->units, text, length * sizeof(WCHAR));
}

void WString::AppendUnits(const WCHAR* units, uint64_t count) {
  if (count == 0) return;
  uint64_t oldLength = Length();
  if (!Resize(oldLength + count)) return;
  memcpy(AsBlock(block_)->units + oldLength, units, count * sizeof(WCHAR));
}

void WString::Append(const WCHAR* text) {
  if (text == nullptr) return;
  AppendUnits(text, UnitCount(text));
}

void WString::AppendNarrow(const char* text) {
  if (text == nullptr || text[0] == 0) return;
  WString converted = FromNarrow(text);
  AppendUnits(converted.Text(), converted.Length());
}

WString WString::ParentDirectory() const {
  WString result;
  uint64_t length = Length();
  if (length == 0) return result;
  const WCHAR* text = Text();
  uint64_t separator = length;  // length means "none found"
  for (uint64_t i = 0; i < length; ++i) {
    if (text[i] == L'\\') separator = i;
  }
  if (separator == length) {
    for (uint64_t i = 0; i < length; ++i) {
      if (text[i] == L'/') separator = i;
    }
  }
  if (separator == length || separator == 0) return result;
  result.AppendUnits(text, separator);
  return result;
}

void WString::Format(const WCHAR* format, ...) {
  WCHAR buffer[kFormatBufferUnits];
  va_list args;
  va_start(args, format);
  FormatBounded(buffer, kFormatBufferUnits, format, args);
  va_end(args);
  Assign(buffer);
}

WString WString::Copy() const {
  WString result;
  result.AppendUnits(Text(), Length());
  return result;
}

void WString::Release() {
  if (block_ == nullptr) return;
  free(block_);
  ++g_counters.frees;
  block_ = nullptr;
}

const WCHAR* WString::Text() const {
  return block_ != nullptr ? AsBlock(block_)->units : kEmptyText;
}

uint64_t WString::Length() const {
  return block_ != nullptr ? AsBlock(block_)->length : 0;
}

WCHAR* WString::Data() {
  return block_ != nullptr ? AsBlock(block_)->units : nullptr;
}
