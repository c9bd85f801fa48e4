#include "command_line.h"

#include <limits.h>

#include "foundation/text_compare.h"
#include "tray/session_stop.h"

namespace {

bool IsWhiteSpace(WCHAR c) {
  return c == L' ' || (c >= L'\t' && c <= L'\r');
}

}  // namespace

RunMode ModeFromKeyword(const WCHAR* keyword) {
  // Tested in this order; the first match wins.
  if (EqualsIgnoringAsciiCase(keyword, L"onChkDrv")) return RunMode::QueryDriverBuild;
  if (EqualsIgnoringAsciiCase(keyword, L"onInit")) return RunMode::PostRebootCheck;
  if (EqualsIgnoringAsciiCase(keyword, L"un") || EqualsIgnoringAsciiCase(keyword, L"uninstall")) {
    return RunMode::Uninstall;
  }
  if (EqualsIgnoringAsciiCase(keyword, L"removetray")) return RunMode::RemoveTray;
  if (EqualsIgnoringAsciiCase(keyword, L"in") || EqualsIgnoringAsciiCase(keyword, L"install") ||
      EqualsIgnoringAsciiCase(keyword, L"serverinstall")) {
    return RunMode::Install;
  }
  if (EqualsIgnoringAsciiCase(keyword, L"in_notray")) return RunMode::InstallWithoutTray;
  if (IsExactName(keyword, L"def.set")) return RunMode::MakeOurPrinterDefault;
  if (IsExactName(keyword, kSessionStopKeyword)) return RunMode::SessionStop;
  return RunMode::None;
}

LONG ParseDecimal(const WCHAR* text) {
  while (IsWhiteSpace(*text)) ++text;
  bool negative = *text == L'-';
  if (*text == L'-' || *text == L'+') ++text;
  // Accumulate as a magnitude and stop growing once past the range; the sign picks the limit.
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long magnitude = 0;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    magnitude = magnitude * 10 + (*text - L'0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<LONG>(negative ? -magnitude : magnitude);
}

HWND OwnerWindowFromArgument(const WCHAR* argument) {
  // Window handles travel as their 32-bit value; widening keeps the sign, as the platform does.
  HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(ParseDecimal(argument)));
  return window != nullptr && IsWindow(window) ? window : nullptr;
}
