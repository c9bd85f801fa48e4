#include "install_log.h"

#include <stdarg.h>

#include "bounded_format.h"
#include "install_state.h"

namespace {
constexpr size_t kLineUnits = 1024;
constexpr int kMaxIndentLevels = 10;
const WCHAR kTwentySpaces[] = L"                    ";
}  // namespace

void AppendIndented(InstallState& state, const WCHAR* text) {
  uint64_t start = state.logText.Length();
  int levels = state.indent > kMaxIndentLevels ? kMaxIndentLevels : state.indent;
  if (levels > 0) state.logText.Append(kTwentySpaces + (kMaxIndentLevels - levels) * 2);
  if (text != nullptr && text[0] != 0) state.logText.Append(text);
  state.logText.Append(L"\r\n");
  if (state.logFile.IsOpen() || state.logFile.HasChannel()) {
    state.logFile.Append(state.logText.Text() + start, state.logText.Length() - start);
  }
}

void LogLine(InstallState& state, const WCHAR* format, ...) {
  WCHAR line[kLineUnits];
  va_list args;
  va_start(args, format);
  FormatBounded(line, kLineUnits, format, args);
  va_end(args);
  AppendIndented(state, line);
}

void ReportError(InstallState& state, int code, const WCHAR* format, ...) {
  WCHAR line[kLineUnits];
  size_t length = FormatBoundedV(line, kLineUnits, L"Error(%d): ", code);
  va_list args;
  va_start(args, format);
  length += FormatBounded(line + length, kLineUnits - length, format, args);
  va_end(args);
  SystemErrorText system;  // reads the last error now, after all formatting
  if (system.error() != 0) {
    if (system.text() != nullptr) {
      FormatBoundedV(line + length, kLineUnits - length, L" - (%s)", system.text());
    } else {
      FormatBoundedV(line + length, kLineUnits - length, L" - ( No Description )");
    }
  }
  AppendIndented(state, line);
  ++state.errorCount;
}

SystemErrorText::SystemErrorText() : error_(GetLastError()) {
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, error_, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
      reinterpret_cast<LPWSTR>(&text_), 0, nullptr);
  if (length == 0 || text_ == nullptr) {
    text_ = nullptr;
    return;
  }
  for (DWORD end = length; end > 1 && (text_[end - 1] == L'\r' || text_[end - 1] == L'\n'); --end) {
    text_[end - 1] = 0;
  }
}

SystemErrorText::~SystemErrorText() {
  if (text_ != nullptr) LocalFree(text_);
}
