// Simulated processes: the running program (its command line, the path of its executable, its
// current directory, the system directory, the DLL search order it chose, the Windows version it
// is told) and the other programs it starts.
//
// The file calls resolve a relative path against the current directory (FullPath), as the
// platform does; by default it is the program's own folder, as when started from a file window.
//
// Another program is a file that a test registers with the code to run when a process of it
// starts (a scripted program: it opens mutexes, shows windows with actors, ends itself). A
// running process holds its executable, so deleting the file fails with ERROR_ACCESS_DENIED
// until it ends; when it ends, its windows go, and the mutexes it still owns are abandoned. A
// file without registered code starts a process that ends at once with exit code 0.
//
// Sessions: each has its state and its logged-on user (none for the services session 0) with
// the user's shell, a process of the user's token that owns the session's shell window. Every
// process runs with a token and in that token's session; the program's own is `token`. A
// process may run "in its own time" (RunInOwnTime): the clock is put back when it returns, so
// that processes started one after the other are seen to run side by side, and its end is
// seen at the time it reached.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <wtsapi32.h>

#include "winsim/machine.h"
#include "winsim/security.h"
#include "winsim/text.h"

namespace winsim {

class Processes {
 public:
  Processes();
  // The handle the loader passes to the program's entry point for its own executable (its
  // image base). It is not a kernel handle: nothing closes it, so it is not in the handle table.
  static HINSTANCE ProgramModule() {
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x140000000ull));
  }
  // The process id of the program under test, the owner of what its own calls acquire.
  static constexpr DWORD kProgramProcessId = 0x100;

  // The account the program runs as: by default an elevated administrator.
  Token token = Token::ElevatedAdministrator();

  // What GetCommandLineW returns; the program path is argument 0.
  WideText commandLine = u"\"C:\\vexa\\drv\\zqvinst64.exe\"";
  // What GetModuleFileNameW reports for the program's module.
  WideText modulePath = u"C:\\vexa\\drv\\zqvinst64.exe";
  // The current directory: no trailing backslash except for a drive root ("C:\\").
  WideText currentDirectory = u"C:\\vexa\\drv";
  // The full path a file call uses for `path`: a relative one ("a.dll", "..\\a.dll") is joined
  // to the current directory with "." and ".." folded; any other path is returned as given.
  WideText FullPath(const WideText& path) const;
  // What GetSystemDirectoryW reports (no trailing backslash, as the platform gives it).
  WideText systemDirectory = u"C:\\Windows\\system32";
  // What GetTempPathW reports: the temporary folder of the account the program runs as, with
  // its trailing backslash. The folder is not staged: a test adds it when it wants it to exist.
  WideText tempDirectory = u"C:\\Users\\admin\\AppData\\Local\\Temp\\";
  // False for a system whose kernel32 lacks GetTempPath2W (GetProcAddress fails), as Wine 8.0
  // and Windows releases before it came.
  bool hasGetTempPath2 = true;
  // What GetTempPath2W reports for the system account (other accounts get tempDirectory).
  WideText systemTempDirectory = u"C:\\Windows\\SystemTemp\\";
  // What GetStdHandle(STD_OUTPUT_HANDLE) returns: null unless the caller handed one over.
  HANDLE standardOutput = nullptr;
  // BCryptGenRandom calls so far: what makes each call's bytes differ.
  unsigned randomCalls = 0;
  // The environment variables, for GetEnvironmentVariableW; names compared ignoring case.
  std::map<WideText, WideText> environment = {{u"ProgramData", u"C:\\ProgramData"}};

  // The flags of the last successful SetDefaultDllDirectories call; 0 when it was never made.
  DWORD defaultDllDirectories = 0;
  // False for a system whose kernel32 lacks SetDefaultDllDirectories (GetProcAddress fails).
  bool hasSetDefaultDllDirectories = true;
  // What the last SetDllDirectoryW call set; absent until one is made.
  bool dllDirectorySet = false;
  WideText dllDirectory;
  // The name of every library the program loaded with LoadLibraryExW, as it passed it.
  std::vector<WideText> libraryLoads;

  // What IsWow64Process2 reports as the system's native machine (IMAGE_FILE_MACHINE_ARM64 for
  // an ARM64 Windows, where a 64-bit x86 program runs under emulation); false for a kernel32
  // without the call (GetProcAddress fails).
  USHORT nativeMachine = IMAGE_FILE_MACHINE_AMD64;
  bool hasIsWow64Process2 = true;
  // The runtime class Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo:
  // registered (its activation factory answers) or not (REGDB_E_CLASSNOTREG, as before Windows
  // 11 24H2 and on Wine), and whether it says protected print mode is on.
  bool hasProtectedPrintInfo = false;
  bool protectedPrintEnabled = false;
  // The runtime apartment the program's thread joined: how often it has and not yet left, with
  // which RO_INIT_TYPE, and the handle it counts as until it leaves, so a run that stays shows.
  unsigned runtimeInitializations = 0;
  int runtimeInitType = 0;
  HANDLE runtimeApartment = nullptr;

  // What GetVersionExA reports; by default Windows 7 SP1, as a new Wine prefix does.
  struct OsVersion {
    DWORD major = 6;
    DWORD minor = 1;
    DWORD build = 7601;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    std::string servicePack = "Service Pack 1";
  };
  OsVersion osVersion;

  // Sets the command line to the quoted program path followed by the given arguments text.
  void SetArguments(const WideText& arguments);

  // Code run when a process of a program file starts, given the new process id.
  using ProgramMain = std::function<void(DWORD processId)>;
  // Makes starting the file run `main`; the file itself is staged in the file system.
  void RegisterProgram(const WideText& path, ProgramMain main);

  // Starts a process of an existing program file, as CreateProcessW or the logon does: with the
  // program's own token unless another is given.
  DWORD Start(const WideText& imagePath);
  DWORD Start(const WideText& imagePath, const Token& token, const WideText& commandLine);
  // For a scripted program that runs the installer's entry point: runs `main` as the process,
  // with its token and command line in place of the program's, in its own time, and ends the
  // process with main's result.
  void RunInOwnTime(DWORD processId, const std::function<DWORD()>& main);
  // The process's token; null for an unknown process.
  const Token* TokenOf(DWORD processId) const;
  // A process that has ended: its exit code and the time (ElapsedMilliseconds) it ended at.
  bool Ended(DWORD processId, DWORD* exitCode, uint64_t* endedAt) const;
  // The running processes of a program file, with their tokens.
  std::vector<std::pair<DWORD, const Token*>> RunningOf(const WideText& imagePath) const;

  struct Session {
    DWORD id;
    WTS_CONNECTSTATE_CLASS state;
    std::shared_ptr<Token> user;  // null: nobody logged on
    DWORD shellProcessId = 0;     // 0: no shell window
  };
  // By default the services session and a console session where the administrator the program
  // runs as is logged on, unelevated.
  std::vector<Session> sessions;
  // Sets the session (made when missing) to the state and user, with the user's shell running.
  void LogOn(DWORD id, WTS_CONNECTSTATE_CLASS state, const Token& user);
  const Session* FindSession(DWORD id) const;
  // What GetCurrentProcessId reports: the program's, or the process run in its own time.
  DWORD currentProcessId = kProgramProcessId;
  bool IsRunning(DWORD processId) const;
  // Ends a process: its windows are destroyed, its file is let go, the mutexes it owns are
  // abandoned and what it kept open is dropped. Ending an ended process does nothing.
  void End(DWORD processId, DWORD exitCode);
  // For scripted programs: objects a running process keeps open, and windows it owns, until it
  // ends.
  void Keep(DWORD processId, std::shared_ptr<void> object);
  void OwnWindow(DWORD processId, HWND window);

  // One CreateProcessW call that got as far as looking for its program.
  struct Launch {
    WideText commandLine;
    WideText imagePath;  // the file it looked for
    DWORD creationFlags = 0;
    DWORD startupFlags = 0;        // STARTUPINFOW dwFlags
    WORD showWindow = 0;           // STARTUPINFOW wShowWindow
    DWORD processId = 0;           // 0 when the program was not started
    std::string account;           // the user of the token it was started with
    WideText desktop;              // STARTUPINFOW lpDesktop; empty when none was given
    bool userEnvironment = false;  // started with an environment block of CreateEnvironmentBlock
  };
  std::vector<Launch> launches;

  // The kernel object behind a process or thread handle.
  struct ProcessObject {
    DWORD processId;
  };

 private:
  struct Process {
    WideText imagePath;
    Token token;
    WideText commandLine;
    bool running = true;
    DWORD exitCode = STILL_ACTIVE;
    uint64_t endedAt = 0;
    std::vector<std::shared_ptr<void>> kept;
    std::vector<HWND> windows;
  };
  static std::string Holder(DWORD processId);

  std::map<WideText, ProgramMain> programs_;  // by folded path
  std::map<DWORD, Process> processes_;
  DWORD nextProcessId_ = 0x200;
};

// The export of kernel32 that GetProcAddress finds when hasGetTempPath2 is set: the system
// account's folder, or tempDirectory for any other account.
DWORD WINAPI GetTempPath2W(DWORD BufferLength, LPWSTR Buffer);
// The export of bcrypt.dll: with no algorithm and BCRYPT_USE_SYSTEM_PREFERRED_RNG, fills the
// buffer with bytes that differ from call to call (a counter's, not random: runs stay
// repeatable); 0 on success, STATUS_INVALID_PARAMETER otherwise.
LONG WINAPI BCryptGenRandom(void* hAlgorithm, BYTE* pbBuffer, DWORD cbBuffer, DWORD dwFlags);

}  // namespace winsim
