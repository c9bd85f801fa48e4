// The installer's log of one run, found by what the run wrote. The installer appends each run's
// entry to "vexaWriter-setup.log" in a folder it chooses by the account that runs it; rather than
// repeat that choice, the action notes the size of every file the installer may write before the
// run and, after it, reads what was added to whichever of them grew (the whole file when it was
// started anew because the old one was set aside).
#pragma once

#include <windows.h>

constexpr int kLogCandidates = 3;

// The candidate log files and their sizes at one moment (-1: absent).
struct LogSnapshot {
  int count = 0;
  WCHAR paths[kLogCandidates][MAX_PATH];
  LONGLONG sizes[kLogCandidates];
};

void TakeLogSnapshot(LogSnapshot* snapshot);

// The bytes the run added since `before`, UTF-8, in a heap block the caller frees with
// HeapFree(GetProcessHeap()); null when no candidate grew. `path` receives the file's path.
char* ReadRunEntry(const LogSnapshot& before, WCHAR (&path)[MAX_PATH], DWORD* bytes);
