// CommandLineToArgvW: the platform's rules for splitting a command line.
//
// Argument 0, the program path, ends at the next quote when it starts with one, else at the
// first blank; no escapes apply to it. The other arguments are separated by spaces and tabs
// outside quotes; 2n backslashes before a quote become n and the quote opens or closes quoting,
// 2n+1 become n and a literal quote; other backslashes are literal. Inside quotes, a run of
// quotes counted with the opening one gives one literal quote per three, and a remainder of one
// or two closes the quoted part (two also adds a literal quote).
#include <shellapi.h>

#include <string.h>

#include <vector>

#include "winsim/machine.h"
#include "winsim/processes.h"
#include "winsim/text.h"

using winsim::Machine;
using winsim::WideText;

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::vector<WideText> Split(const WideText& line) {
  std::vector<WideText> args;
  size_t i = 0;
  const size_t n = line.size();
  WideText program;
  if (n > 0 && line[0] == u'"') {
    for (i = 1; i < n && line[i] != u'"'; ++i) program += line[i];
    if (i < n) ++i;  // the closing quote
  } else {
    for (; i < n && !IsBlank(line[i]); ++i) program += line[i];
  }
  args.push_back(program);
  while (i < n && IsBlank(line[i])) ++i;
  if (i == n) return args;

  WideText current;
  int quotes = 0;  // 1 while inside quotes
  size_t backslashes = 0;
  while (i < n) {
    char16_t c = line[i];
    if (IsBlank(c) && quotes == 0) {
      args.push_back(current);
      current.clear();
      backslashes = 0;
      while (i < n && IsBlank(line[i])) ++i;
      if (i == n) return args;
    } else if (c == u'\\') {
      current += c;
      ++backslashes;
      ++i;
    } else if (c == u'"') {
      if (backslashes % 2 == 0) {
        current.erase(current.size() - backslashes / 2);
        ++quotes;
      } else {
        current.erase(current.size() - backslashes / 2 - 1);
        current += u'"';
      }
      backslashes = 0;
      for (++i; i < n && line[i] == u'"'; ++i) {
        if (++quotes == 3) {
          current += u'"';
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
    } else {
      current += c;
      backslashes = 0;
      ++i;
    }
  }
  args.push_back(current);
  return args;
}

}  // namespace

LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs) {
  WINSIM_ENTER_OR_FAIL(nullptr);
  if (lpCmdLine == nullptr || pNumArgs == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<WideText> args;
  if (lpCmdLine[0] == 0) {
    // An empty command line yields the program's own path as the only argument.
    args.push_back(Machine::Current().processes().modulePath);
  } else {
    args = Split(winsim::FromPtr(lpCmdLine));
  }

  // One block: the pointer array (null-terminated), then the texts.
  size_t bytes = (args.size() + 1) * sizeof(LPWSTR);
  for (const WideText& arg : args) bytes += (arg.size() + 1) * sizeof(WCHAR);
  void* block = Machine::Current().AllocateBlock(true, bytes, false);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* argv = static_cast<LPWSTR*>(block);
  auto* text = reinterpret_cast<WCHAR*>(argv + args.size() + 1);
  for (size_t k = 0; k < args.size(); ++k) {
    argv[k] = text;
    memcpy(text, args[k].c_str(), (args[k].size() + 1) * sizeof(WCHAR));
    text += args[k].size() + 1;
  }
  argv[args.size()] = nullptr;
  *pNumArgs = static_cast<int>(args.size());
  winsim::PoisonLastError();
  return argv;
}
