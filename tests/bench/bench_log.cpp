// Builds a 10,000-line install log and prints the heap reallocations and the time per line. Each
// reallocation may copy the whole log: their number must grow with the logarithm of its length,
// not with the length (a limit of 64 is ample for any log that fits in memory).
#include <windows.h>

#include <chrono>
#include <stdio.h>

#include "foundation/install_log.h"
#include "foundation/install_state.h"
#include "winsim/machine.h"

int main() {
  winsim::Machine machine;
  const int kLines = 10000;
  const uint64_t kReallocationLimit = 64;
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
         (unsigned long long)kReallocationLimit, nsPerLine);
  return reallocations <= kReallocationLimit ? 0 : 1;
}
