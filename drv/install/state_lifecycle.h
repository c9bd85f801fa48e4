// Building the InstallState of an install or uninstall run: it checks the spooler, asks the
// spooler for its driver directory and takes the printer snapshot, so it sits above the steps
// it calls. Its release (ReleaseInstallState, install_state.h) frees only what the record holds
// and sits with the record.
#pragma once

#include "foundation/install_state.h"

// Builds the record for a run, writing its first log line before anything else: checks that
// the spooler runs, chooses the file set (OptionX64) and the printer-driver directory, finds the
// program's directory and the system directory, and takes the printer snapshot with the default
// printer marked. Never fails as a whole: what it cannot obtain is reported and left empty.
void CreateInstallState(InstallState& state, unsigned options);
// Its two halves, for a run that takes the run lock between them: the first sets the record
// empty, writes the first log line, sets the flags, finds the program's directory and names the
// file set (what the payload check needs); the second does the rest, which reads what another
// run changes (the spooler check may start the spooler).
void BeginInstallState(InstallState& state, unsigned options);
void CompleteInstallState(InstallState& state, unsigned options);
// Fills isX64, the file and environment names, and driverDir (with its trailing backslash).
void ChooseFileSet(InstallState& state, bool x64);
// The same without driverDir: asks the spooler nothing.
void ChooseFileNames(InstallState& state, bool x64);
// The 64-bit file set and the directories of the run (printer-driver, program's, system), as
// CompleteInstallState finds them, for a mode that builds no whole record.
void FindRunDirectories(InstallState& state);
