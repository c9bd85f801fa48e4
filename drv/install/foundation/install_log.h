// The install log: indented lines in the InstallState's logText, and numbered error reports
// that add the system's text for the last error and count in errorCount.
//
// Lines are indented two spaces per level of `indent` (at most ten levels, none when it is 0
// or negative) and end in CR LF. Formatted lines are cut to 1,023 characters. Each line also
// goes to the state's log file while one is open (the run streams its log to disk), so that a
// run ended by force leaves its log up to its last line.
#pragma once

#include <windows.h>

struct InstallState;

void AppendIndented(InstallState& state, const WCHAR* text);
// Formats with the program's formatter (%s wide text, %d, %u, %x) and appends the line.
void LogLine(InstallState& state, const WCHAR* format, ...);
// Appends "Error(code): message" with " - (system text)" for a non-zero last error, read only
// after the message is formatted, and adds one to errorCount.
void ReportError(InstallState& state, int code, const WCHAR* format, ...);

// The system's English text for the last error, read when the object is made, with its
// trailing CR and LF removed. Owns the text and frees it with LocalFree.
class SystemErrorText {
 public:
  SystemErrorText();
  ~SystemErrorText();
  SystemErrorText(const SystemErrorText&) = delete;
  SystemErrorText& operator=(const SystemErrorText&) = delete;

  DWORD error() const { return error_; }
  // Null when the system has no text for the error.
  const WCHAR* text() const { return text_; }

 private:
  DWORD error_;
  WCHAR* text_ = nullptr;
};
