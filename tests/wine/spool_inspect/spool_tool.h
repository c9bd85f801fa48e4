// Shared pieces of spool_inspect.exe: UTF-8 output, the fixed names of the product that the
// tool looks for, and the verbs of its two halves (state.cpp prints, stage.cpp changes).
//
// Every verb takes its own arguments and returns true on success; a failed verb prints
// "error: <what> <last error>" on stderr. Probe verbs print their outcome on stdout instead and
// succeed whenever they could run.
#pragma once

#include <windows.h>

namespace spool_tool {

constexpr const char* kMutexName = "{A9CA955A-0A8A-4C32-AAC6-888FB5F83BDC}";
constexpr const WCHAR* kTrayClass = L"vxs::{05759F8E-103D-41B6-8A61-EFAA89516692}";
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const WCHAR* kRunValue = L"vexaWriterTray";
constexpr const char* kUserKeys = "Software\\Morvane Software KFT\\vexaWriter\\vexaWriters";
constexpr const WCHAR* kEnvironment = L"Windows x64";

// Writes wide text as UTF-8 to stdout; Print adds nothing, PrintLine ends with LF.
void Print(const WCHAR* text);
void PrintLine(const WCHAR* text);
void PrintNarrow(const char* text);
bool Fail(const WCHAR* what);  // prints "error: what N" on stderr; returns false

// The default printer through ordinals 203 and 204, as the product reaches them.
bool DefaultPrinter(WCHAR* name, DWORD capacity);
bool SetDefault(const WCHAR* name);

// A heap block from a two-call enumeration, freed with the object.
struct Block {
  BYTE* data = nullptr;
  DWORD count = 0;
  Block() = default;
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  ~Block();
  bool Allocate(DWORD bytes);
};

bool EnumPrinters2(Block& out);

// Verbs; argv points at the verb's first argument, argc counts its arguments.
bool PrintState(int argc, WCHAR** argv);
bool StageVerb(const WCHAR* verb, int argc, WCHAR** argv, bool* known);

}  // namespace spool_tool
