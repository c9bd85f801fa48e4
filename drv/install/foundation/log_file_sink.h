// LogFileSink: the open log file of a run, which receives each log line as it is written.
//
// Owns the file handle it is given and closes it when closed or destroyed. Text is written as
// UTF-8, in pieces of at most 1,024 units that never split a surrogate pair. Writing is best
// effort: after the first failed write the sink writes nothing more (a gap in the middle would
// make the file lie about the run), and no failure is reported anywhere.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "handles.h"

class LogFileSink {
 public:
  // Takes ownership of an open file handle whose writes append.
  void Open(HANDLE file);
  bool IsOpen() const { return file_.valid(); }
  void Append(const WCHAR* text, uint64_t units);
  void Close();

 private:
  UniqueFile file_;
  bool failed_ = false;
};
