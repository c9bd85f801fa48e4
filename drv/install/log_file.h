// The log on disk. Every install and uninstall run appends its log to "vexaWriter-setup.log"
// in a folder that no other account can reach (log_folder.h says which), so that a run nobody
// watched still leaves its account behind.
//
// One run's entry: a header line with the local date and time, the mode keyword as given and
// the program's build; the log, as the log window shows it; a last line with the exit code.
// UTF-8, CR LF line ends. StartRunLog opens the file, writes the header and the log so far and
// leaves the file open in the state, which from then on writes each line as it is logged, so a
// run ended by force leaves its log up to its last line (and no exit code line). FinishRunLog
// writes the exit code line and closes the file; for a run whose log file was never opened it
// writes the whole entry at once, with one append. Both come before the log window opens, so a
// run ended while its window waits leaves its whole entry. A file over 1 MiB when it is opened
// is first renamed, by its handle, to "vexaWriter-setup.old.log" (replacing an older one), so
// the two files stay near 2 MiB together. A file or folder that fails a check is not written.
// Writing is best effort: a failure is ignored, written to no log, and changes nothing about
// the run.
//
// The caller's standard output, when it handed one over (log_channel.h), receives the same
// entry, each piece no later than the file: from StartRunLog on, also when the file cannot be
// opened, and whole at FinishRunLog for a run that never had the run lock.
#pragma once

#include <windows.h>

struct InstallState;

void StartRunLog(InstallState& state, const WCHAR* keyword);
void FinishRunLog(InstallState& state, const WCHAR* keyword, int exitCode);
