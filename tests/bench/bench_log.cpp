// Builds a 10,000-line install log and prints the heap reallocations and the time per line.
#include <windows.h>

#include <chrono>
#include <stdio.h>

#include "foundation/install_log.h"
#include "foundation/install_state.h"
#include "winsim/machine.h"

int main() {
  winsim::Machine machine;
  const int kLines = 10000;
  InstallState state;
  WString::HeapCounters before = WString::Counters();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kLines; ++i) {
    state.indent = i % 4;
    LogLine(state, L"CopyFile %s to %s)- OK", L"zqvdrv64.dll", L"C:\\windows\\system32\\spool");
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  uint64_t reallocations = WString::Counters().reallocations - before.reallocations;
  uint64_t units = state.logText.Length();
  double nsPerLine = std::chrono::duration<double, std::nano>(elapsed).count() / kLines;
  printf("log benchmark: %d lines, %llu units, %llu reallocations (limit %llu), %.0f ns per line\n",
         kLines, (unsigned long long)units, (unsigned long long)reallocations,
         (unsigned long long)(units / 32), nsPerLine);
  return reallocations <= units / 32 ? 0 : 1;
}
