// LogFileSink: the open log file of a run, which receives each log line as it is written, and
// the log channel (log_channel.h), which receives the same bytes no later than the file.
//
// Owns the file handle it is given and closes it when closed or destroyed; the channel's handle
// belongs to the process and is only borrowed. Text is written as UTF-8, in pieces of at most
// 1,024 units that never split a surrogate pair. Writing is best effort: after the first failed
// write to one of them the sink writes nothing more there (a gap in the middle would make it lie
// about the run), a short write to the channel counts as failed (it never waits for room), and
// no failure is reported anywhere.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "handles.h"

class LogFileSink {
 public:
  // Takes ownership of an open file handle whose writes append.
  void Open(HANDLE file);
  // Borrows the log channel; null for none.
  void OpenChannel(HANDLE channel);
  bool IsOpen() const { return file_.valid(); }
  bool HasChannel() const { return channel_ != nullptr; }
  void Append(const WCHAR* text, uint64_t units);
  void Close();

 private:
  UniqueFile file_;
  bool failed_ = false;
  HANDLE channel_ = nullptr;
  bool channelFailed_ = false;
};
