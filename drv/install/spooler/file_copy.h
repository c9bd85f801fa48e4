// CopyIntoDirectory: copies one payload file from the program's directory (moduleDir) into a
// target directory and writes exactly one log line that tells what was copied where and how
// it ended. The caller chooses whether a failure counts as an error of the run: with
// reportErrors the line goes through ReportError with the failed stage's code (10 source not
// opened, 9 destination not opened, 8 copy incomplete), otherwise it is a plain line. With
// the program's directory unknown (empty moduleDir) nothing is opened: the source is not
// opened, with ERROR_PATH_NOT_FOUND, rather than looked up in the current directory. Within a
// run the source is read through the handle the run's check opened (state.payload), never
// opened by its path again; the check's failed open is this copy's failed source.
//
// The destination is opened with OpenDestinationWithRetry, which waits out a file that is
// held for a short while. A copy that ends early (a write that writes less than it was given,
// or a read that fails part-way) leaves a partial destination and counts as stage 8.
#pragma once

#include <windows.h>

struct InstallState;

// Units of a caller's destinationOut buffer: MAX_PATH + 4.
constexpr int kDestinationPathUnits = MAX_PATH + 4;

// Returns S_OK or E_FAIL. destinationOut, when given, has kDestinationPathUnits units and
// receives the full destination path before any file is opened. A destination path that does
// not fit there is refused (stage 9, ERROR_FILENAME_EXCED_RANGE) and destinationOut is left
// empty.
HRESULT CopyIntoDirectory(InstallState& state, const WCHAR* targetDir, const WCHAR* fileName,
                          WCHAR* destinationOut, bool reportErrors);

// Opens path for writing, replacing any existing file: up to 100 attempts 50 ms apart, and
// gives up early with the line "CreateFile - timeout" once more than 10,000 ms have passed.
// Returns the handle, for the caller to own, or INVALID_HANDLE_VALUE with the last error of
// the final attempt.
HANDLE OpenDestinationWithRetry(InstallState& state, const WCHAR* path);
