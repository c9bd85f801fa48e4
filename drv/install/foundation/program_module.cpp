#include "program_module.h"

namespace {
// Null until the entry point sets it: the platform then takes the program's own executable.
HINSTANCE g_programModule = nullptr;
}  // namespace

HINSTANCE ProgramModule() {
  return g_programModule;
}

void SetProgramModule(HINSTANCE module) {
  g_programModule = module;
}
