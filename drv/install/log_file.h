// The log on disk. Every install and uninstall run appends its whole log to
// "vexaWriter-setup.log" in the temporary folder of the account that runs it, so that a run
// nobody watched still leaves its account behind.
//
// One run's entry: a header line with the local date and time, the mode keyword as given and
// the program's build; the log, as the log window shows it; a last line with the exit code.
// UTF-8, CR LF line ends, written with one append so that concurrent runs do not interleave. It
// is written once the exit code is known and before the log window opens, so that a run ended
// by force while its window waits still leaves its log. A file over 1 MiB before the run is
// first renamed to "vexaWriter-setup.old.log" (replacing an older one), so the two files stay
// near 2 MiB together. A log file that is a hard link or a symbolic link is not written. Writing
// is best effort: a failure is ignored, written to no log, and changes nothing about the run.
#pragma once

#include <windows.h>

struct InstallState;

void AppendRunLog(const InstallState& state, const WCHAR* keyword, int exitCode);
