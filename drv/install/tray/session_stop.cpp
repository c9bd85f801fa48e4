#include "session_stop.h"

#include "../foundation/bounded_format.h"
#include "../foundation/handles.h"
#include "../foundation/object_security.h"
#include "../foundation/program_module.h"
#include "companion_accounts.h"
#include "companion_quit.h"
#include "start_as_user.h"

namespace {

// The child's answers; any other exit code (an ended or unfinished child) tells nothing.
enum SessionStopAnswer : DWORD {
  kAnswerNoMutex = 40,
  kAnswerNotRunning = 41,
  kAnswerStopped = 42,
  kAnswerStillRunning = 43,
};

constexpr const WCHAR* kMarkerPrefix = L"Global\\vexaWriter.TrayStop.";
constexpr int kMarkerUnits = 24;  // the variable part: two decimal numbers and a dot
// Owner Administrators; SYSTEM and Administrators everything, signed-in users only to wait on
// it and to read its owner (SYNCHRONIZE | READ_CONTROL | MUTANT_QUERY_STATE).
constexpr const WCHAR* kMarkerSecurity = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x120001;;;AU)";
constexpr int kNameUnits = 64;

void MarkerName(const WCHAR* part, WCHAR (&name)[kNameUnits]) {
  FormatBoundedV(name, kNameUnits, L"%s%s", kMarkerPrefix, part);
}

bool IsMarkerPart(const WCHAR* part) {
  if (part == nullptr || part[0] == 0) return false;
  int length = 0;
  for (; part[length] != 0; ++length) {
    if (length == kMarkerUnits) return false;
    if ((part[length] < L'0' || part[length] > L'9') && part[length] != L'.') return false;
  }
  return true;
}

// The mutex that vouches for the children of this run, held while they run.
class StopMarker {
 public:
  bool Create() {
    FormatBoundedV(part_, kMarkerUnits + 1, L"%u.%u", static_cast<unsigned>(GetCurrentProcessId()),
                   static_cast<unsigned>(GetTickCount()));
    ObjectSecurity security(kMarkerSecurity);
    if (security.attributes() == nullptr) return false;
    WCHAR name[kNameUnits];
    MarkerName(part_, name);
    mutex_.reset(CreateMutexW(security.attributes(), FALSE, name));
    // A name someone else made first vouches for nobody.
    if (mutex_.valid() && GetLastError() == ERROR_ALREADY_EXISTS) mutex_.reset();
    return mutex_.valid();
  }
  const WCHAR* part() const { return part_; }

 private:
  UniqueKernelHandle mutex_;
  WCHAR part_[kMarkerUnits + 1] = {};
};

struct Stopper {
  DWORD session = 0;
  UniqueKernelHandle process;
};

// Starts the installer's own file with the token, in the internal mode.
bool StartStopper(const SessionServices& services, HANDLE token, bool asSystem,
                  const StopMarker& marker, Stopper* stopper) {
  WCHAR program[MAX_PATH];
  DWORD length = GetModuleFileNameW(ProgramModule(), program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  WCHAR commandLine[MAX_PATH + 64];
  FormatBoundedV(commandLine, MAX_PATH + 64, L"\"%s\" %s %s", program, kSessionStopKeyword,
                 marker.part());
  return StartAsUser(services, token, asSystem, commandLine, &stopper->process);
}

}  // namespace

bool StopCompanionsEverywhere(SessionList* stopped) {
  const DWORD start = GetTickCount();
  CompanionAccount account = CompanionAccountOfRun();
  SessionServices services;
  StopMarker marker;
  Stopper stoppers[SessionList::kCapacity];
  int started = 0;
  bool stopHere = true;
  if (account == CompanionAccount::SessionUsers && services.Load()) {
    SessionList sessions;
    UserSessions(services, false, &sessions);
    if (sessions.count != 0 && marker.Create()) {
      for (int i = 0; i < sessions.count; ++i) {
        UniqueKernelHandle token = SessionUserToken(services, sessions.ids[i]);
        if (!token.valid()) continue;
        stoppers[started].session = sessions.ids[i];
        if (StartStopper(services, token.get(), true, marker, &stoppers[started])) ++started;
      }
    }
  } else if (account == CompanionAccount::ShellUser && services.Load()) {
    // Another user's desktop: that user's mutex does not let the administrator in.
    UniqueKernelHandle user = ShellUserToken();
    UniqueKernelHandle own;
    if (user.valid() && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.put()) &&
        !SameAccount(user.get(), own.get()) && marker.Create() &&
        StartStopper(services, user.get(), false, marker, &stoppers[0])) {
      started = 1;
      stopHere = false;
    }
  }
  bool opened = stopHere && QuitCompanionHere() != QuitOutcome::NoMutex;
  for (int i = 0; i < started; ++i) {
    UniqueKernelHandle process = static_cast<UniqueKernelHandle&&>(stoppers[i].process);
    DWORD elapsed = GetTickCount() - start;
    WaitForSingleObject(process.get(),
                        elapsed < kCompanionQuitBoundMs ? kCompanionQuitBoundMs - elapsed : 0);
    DWORD answer = 0;
    if (!GetExitCodeProcess(process.get(), &answer)) continue;
    if (answer == kAnswerNotRunning || answer == kAnswerStillRunning) opened = true;
    if (answer == kAnswerStopped) {
      opened = true;
      stopped->Add(stoppers[i].session);
    }
  }
  return opened;
}

int RunSessionStop(const WCHAR* marker) {
  if (!IsMarkerPart(marker)) return 0;
  WCHAR name[kNameUnits];
  MarkerName(marker, name);
  UniqueKernelHandle vouch(OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, name));
  if (!vouch.valid() || !OwnedByAdministratorsOrSystem(vouch.get())) return 0;
  switch (QuitCompanionHere()) {
    case QuitOutcome::NoMutex:
      return kAnswerNoMutex;
    case QuitOutcome::NotRunning:
      return kAnswerNotRunning;
    case QuitOutcome::Stopped:
      return kAnswerStopped;
    case QuitOutcome::StillRunning:
      break;
  }
  return kAnswerStillRunning;
}
