// Text helpers for winsim and the tests: UTF-16 as std::u16string (never std::wstring, whose
// library functions assume 32-bit units on this host), and conversion to and from UTF-8.
#pragma once

#include <windows.h>

#include <string>

namespace winsim {

using WideText = std::u16string;

WideText Widen(const std::string& utf8);
std::string Utf8(const WCHAR* text);
std::string Utf8(const WCHAR* text, size_t length);
std::string Utf8(const WideText& text);
inline const WCHAR* Ptr(const WideText& text) {
  return reinterpret_cast<const WCHAR*>(text.c_str());
}
inline WideText FromPtr(const WCHAR* text) {
  return text == nullptr ? WideText() : WideText(reinterpret_cast<const char16_t*>(text));
}
// ASCII-only case folding, as the simulated file system and registry compare names.
WideText FoldCase(const WideText& text);
bool EqualsIgnoringCase(const WideText& a, const WideText& b);

}  // namespace winsim
