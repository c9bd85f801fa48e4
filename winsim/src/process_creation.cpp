// Other programs' processes: starting a registered program file, its life, its end, and
// CreateProcessW.
#include <windows.h>

#include "winsim/desktop.h"
#include "winsim/files.h"
#include "winsim/mutexes.h"
#include "winsim/processes.h"

using winsim::Machine;
using winsim::Processes;
using winsim::WideText;

namespace winsim {

std::string Processes::Holder(DWORD processId) {
  return "process " + std::to_string(processId);
}

void Processes::RegisterProgram(const WideText& path, ProgramMain main) {
  programs_[FileSystem::Key(path)] = std::move(main);
}

DWORD Processes::Start(const WideText& imagePath) {
  return Start(imagePath, token, u"\"" + imagePath + u"\"");
}

DWORD Processes::Start(const WideText& imagePath, const Token& as, const WideText& commandLine) {
  DWORD processId = nextProcessId_;
  nextProcessId_ += 8;  // room for the id of its thread
  processes_[processId].imagePath = imagePath;
  processes_[processId].token = as;
  processes_[processId].commandLine = commandLine;
  // A running executable cannot be deleted; the first instance holds it for all of them.
  FileSystem& files = Machine::Current().files();
  if (!files.IsHeld(imagePath)) files.Hold(imagePath, Holder(processId), ERROR_ACCESS_DENIED);
  auto program = programs_.find(FileSystem::Key(imagePath));
  if (program == programs_.end()) {
    End(processId, 0);
  } else {
    ProgramMain main = program->second;
    main(processId);
  }
  return processId;
}

bool Processes::IsRunning(DWORD processId) const {
  auto found = processes_.find(processId);
  return found != processes_.end() && found->second.running;
}

void Processes::End(DWORD processId, DWORD exitCode) {
  auto found = processes_.find(processId);
  if (found == processes_.end() || !found->second.running) return;
  Process& process = found->second;
  process.running = false;
  process.exitCode = exitCode;
  process.endedAt = Machine::Current().ElapsedMilliseconds();
  Machine& machine = Machine::Current();
  for (HWND window : process.windows) machine.desktop().DestroyWindow(window);
  process.windows.clear();
  machine.mutexes().AbandonAllOf(processId);
  process.kept.clear();
  FileSystem& files = machine.files();
  files.ReleaseHoldsOf(Holder(processId));
  // Another instance of the same program still holds the file.
  for (const auto& other : processes_) {
    if (other.second.running && !files.IsHeld(other.second.imagePath) &&
        FileSystem::Key(other.second.imagePath) == FileSystem::Key(process.imagePath)) {
      files.Hold(process.imagePath, Holder(other.first), ERROR_ACCESS_DENIED);
    }
  }
}

void Processes::RunInOwnTime(DWORD processId, const std::function<DWORD()>& main) {
  auto found = processes_.find(processId);
  if (found == processes_.end() || !found->second.running) return;
  Token ownToken = token;
  WideText ownCommandLine = commandLine;
  DWORD ownId = currentProcessId;
  token = found->second.token;
  commandLine = found->second.commandLine;
  currentProcessId = processId;
  DWORD exitCode = 0;
  uint64_t reached = Machine::Current().RunAside([&] { exitCode = main(); });
  token = ownToken;
  commandLine = ownCommandLine;
  currentProcessId = ownId;
  End(processId, exitCode);
  processes_[processId].endedAt = reached;
}

const Token* Processes::TokenOf(DWORD processId) const {
  auto found = processes_.find(processId);
  return found == processes_.end() ? nullptr : &found->second.token;
}

bool Processes::Ended(DWORD processId, DWORD* exitCode, uint64_t* endedAt) const {
  auto found = processes_.find(processId);
  if (found == processes_.end() || found->second.running) return false;
  *exitCode = found->second.exitCode;
  *endedAt = found->second.endedAt;
  return true;
}

std::vector<std::pair<DWORD, const Token*>> Processes::RunningOf(const WideText& imagePath) const {
  std::vector<std::pair<DWORD, const Token*>> running;
  for (const auto& [id, process] : processes_) {
    if (process.running && FileSystem::Key(process.imagePath) == FileSystem::Key(imagePath)) {
      running.push_back({id, &process.token});
    }
  }
  return running;
}

void Processes::Keep(DWORD processId, std::shared_ptr<void> object) {
  auto found = processes_.find(processId);
  if (found != processes_.end() && found->second.running) found->second.kept.push_back(object);
}

void Processes::OwnWindow(DWORD processId, HWND window) {
  auto found = processes_.find(processId);
  if (found != processes_.end() && found->second.running) found->second.windows.push_back(window);
}

}  // namespace winsim

namespace {

// The program a command line names: its first argument, quoted or up to the first blank.
WideText ProgramName(const WideText& commandLine) {
  size_t begin = commandLine.find_first_not_of(u" \t");
  if (begin == WideText::npos) return WideText();
  if (commandLine[begin] == u'"') {
    size_t end = commandLine.find(u'"', begin + 1);
    return commandLine.substr(begin + 1, end == WideText::npos ? WideText::npos : end - begin - 1);
  }
  size_t end = commandLine.find_first_of(u" \t", begin);
  return commandLine.substr(begin, end == WideText::npos ? WideText::npos : end - begin);
}

// A bare name is looked for beside the program's own executable, then in the system directory.
WideText ResolveProgram(const WideText& name) {
  if (name.find_first_of(u"\\/:") != WideText::npos) return name;
  Processes& processes = Machine::Current().processes();
  size_t separator = processes.modulePath.find_last_of(u"\\/");
  WideText besideProgram = processes.modulePath.substr(0, separator + 1) + name;
  WideText inSystem = processes.systemDirectory + u"\\" + name;
  if (!Machine::Current().files().Exists(besideProgram) &&
      Machine::Current().files().Exists(inSystem)) {
    return inSystem;
  }
  return besideProgram;
}

}  // namespace

namespace winsim {

// What the three ways of starting a program share, once the token is settled.
BOOL StartProcess(const Token& as, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                  DWORD dwCreationFlags, LPVOID lpEnvironment, LPSTARTUPINFOW lpStartupInfo,
                  LPPROCESS_INFORMATION lpProcessInformation) {
  if ((lpApplicationName == nullptr && lpCommandLine == nullptr) || lpStartupInfo == nullptr ||
      lpProcessInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Machine& machine = Machine::Current();
  Processes& processes = machine.processes();
  WideText commandLine = winsim::FromPtr(lpCommandLine);
  WideText name =
      lpApplicationName != nullptr ? winsim::FromPtr(lpApplicationName) : ProgramName(commandLine);
  Processes::Launch launch;
  launch.commandLine = commandLine;
  launch.imagePath = ResolveProgram(name);
  launch.creationFlags = dwCreationFlags;
  launch.startupFlags = lpStartupInfo->dwFlags;
  launch.showWindow = lpStartupInfo->wShowWindow;
  launch.account = as.user;
  if (lpStartupInfo->lpDesktop != nullptr) launch.desktop = FromPtr(lpStartupInfo->lpDesktop);
  launch.userEnvironment = lpEnvironment != nullptr && machine.OwnsBlock(true, lpEnvironment) &&
                           (dwCreationFlags & CREATE_UNICODE_ENVIRONMENT) != 0;
  processes.launches.push_back(launch);
  size_t launchIndex = processes.launches.size() - 1;

  const winsim::FileSystem::Node* file = machine.files().Find(launch.imagePath);
  if (name.empty() || file == nullptr || file->directory) {
    SetLastError(file != nullptr ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  DWORD processId = processes.Start(launch.imagePath, as, commandLine);
  processes.launches[launchIndex].processId = processId;
  // A program that ended while the new process ran in its own time gets no handles to it.
  if (machine.ProgramEnded()) {
    SetLastError(kEndedProcessError);
    return FALSE;
  }
  auto object = std::make_shared<Processes::ProcessObject>(Processes::ProcessObject{processId});
  lpProcessInformation->hProcess = machine.AddHandle(winsim::HandleKind::Process, object);
  lpProcessInformation->hThread = machine.AddHandle(winsim::HandleKind::Thread, object);
  lpProcessInformation->dwProcessId = processId;
  lpProcessInformation->dwThreadId = processId + 4;
  winsim::PoisonLastError();
  return TRUE;
}

}  // namespace winsim

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCWSTR, LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  WINSIM_ENTER_OR_FAIL(FALSE);
  return winsim::StartProcess(Machine::Current().processes().token, lpApplicationName,
                              lpCommandLine, dwCreationFlags, lpEnvironment, lpStartupInfo,
                              lpProcessInformation);
}
