// The program's own module handle, as the entry point received it. The installer's files are
// found beside the module's path, and the log window's dialog template is loaded from it.
#pragma once

#include <windows.h>

HINSTANCE ProgramModule();
void SetProgramModule(HINSTANCE module);
