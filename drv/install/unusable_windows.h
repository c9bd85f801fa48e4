// Refusing an install on a Windows where our port monitor and printer driver cannot work:
// Windows protected print mode is on (protected_print.h), or the system is ARM64 Windows, whose
// spooler loads only ARM64 drivers and monitors (native machine from IsWow64Process2, looked up
// at run time; where it is missing the system is not ARM64).
//
// Reports error 20 once for each condition that holds and returns false; logs nothing and
// returns true when neither holds, also when a call of the detection fails.
#pragma once

struct InstallState;

bool WindowsCanRunOurPrinter(InstallState& state);
