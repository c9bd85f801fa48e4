// The simulated Windows machine that the host build's platform calls act on.
//
// A test makes one Machine; while it lives, every simulated platform call works on it. It owns
// the virtual clock, the thread's last error, the call counters and injected faults, the
// accounting of global and local memory blocks and of open handles, and one object per
// simulated subsystem (files, registry, services, desktop, processes, mutexes, spooler).
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// Last-error value left behind by a successful call: the platform leaves it undefined, so code
// that reads it after success sees a value no system call ever reports (customer bit set).
constexpr DWORD kPoisonedLastError = 0x2000DEADu;
// What every call of a program that has died fails with (ERROR_PROCESS_ABORTED).
constexpr DWORD kEndedProcessError = 1067;

class FileSystem;
class Registry;
class ServiceManager;
class Desktop;
class Mutexes;
class Processes;
class PrivateNamespaces;
class Spooler;

enum class HandleKind {
  File,
  Mutex,
  Process,
  Thread,
  Module,
  RegistryKey,
  ServiceManager,
  Service,
  Printer,
  Namespace,
  Boundary,  // a boundary descriptor: a block of the program's, counted as a handle
  Other,
};
const char* HandleKindName(HandleKind kind);

class Machine {
 public:
  Machine();
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // The machine that simulated calls act on; aborts when no machine exists.
  static Machine& Current();
  static bool Exists();

  // Virtual clock in milliseconds. Only Sleep, waits and Advance move it.
  DWORD TickCount() const { return tickCount_; }
  void SetTickCount(DWORD ticks) { tickCount_ = ticks; }
  // Moves the clock on, running each timer that falls due on the way at its own time.
  void Advance(DWORD milliseconds);
  // Runs `action` once the virtual time elapsed since the machine was made reaches `at` (what
  // other programs do in their own time); NextTimer says when the next one is due.
  void At(uint64_t at, std::function<void()> action);
  std::optional<uint64_t> NextTimer() const;
  // Runs another process's code in its own time: the clock is put back afterwards; returns the
  // elapsed time (ElapsedMilliseconds) the code reached.
  uint64_t RunAside(const std::function<void()>& run);
  // What Sleep does: counts the sleep and advances the clock.
  void SleepFor(DWORD milliseconds);
  // Total virtual time that has passed through Sleep and waits since the machine was made.
  uint64_t ElapsedMilliseconds() const { return elapsed_; }
  unsigned SleepCount() const { return sleepCount_; }
  // The local date and time when the machine was made; GetLocalTime reports it plus the
  // virtual time elapsed since (wDayOfWeek is recomputed).
  SYSTEMTIME localTimeAtStart = {2026, 3, 1, 9, 8, 5, 7, 250};

  DWORD lastError = 0;

  // Faults: the nth call (1-based) of a simulated function fails with the given error.
  void FailCall(const std::string& function, unsigned nth, DWORD error);
  // Every call of the function from the nth on fails with the error.
  void FailCallsFrom(const std::string& function, unsigned nth, DWORD error);
  unsigned CallCount(const std::string& function) const;
  // Every function called so far, with its count.
  const std::map<std::string, unsigned>& CallCounts() const { return callCounts_; }
  // Counts the call and returns the error to fail it with, or 0 to let it run.
  DWORD EnterCall(const char* function);

  // Process death, as a task ended by force: the program under test dies on entering the nth
  // simulated call from now (1-based, all functions counted together). Its handles are closed
  // as the platform closes them at process exit (files let go, printer handles ended), the
  // mutexes it owns are abandoned, and every later call it makes fails with
  // kEndedProcessError and changes nothing; sleeps and waits return at once. Only the calls
  // on its own memory and text (GlobalAlloc, LocalFree, code-page conversion, the clock, the
  // command line) keep working, so that the code still running returns and frees what it
  // holds. What other processes were asked to do stays done.
  void EndProgramAtCall(uint64_t nth);
  bool ProgramEnded() const { return ended_; }
  // The program is started again as a new process on the same machine.
  void StartProgramAgain();
  // Every simulated call so far, all functions together.
  uint64_t TotalCalls() const { return totalCalls_; }

  // Memory accounting.
  void* AllocateBlock(bool local, SIZE_T bytes, bool zeroFill);
  bool FreeBlock(bool local, void* block);
  bool OwnsBlock(bool local, const void* block) const;
  size_t OutstandingGlobalBlocks() const { return globalBlocks_.size(); }
  size_t OutstandingLocalBlocks() const { return localBlocks_.size(); }

  // Handle table: every open simulated handle with its kind and the object behind it.
  HANDLE AddHandle(HandleKind kind, std::shared_ptr<void> object);
  template <typename T>
  std::shared_ptr<T> LookupHandle(const void* handle, HandleKind kind) const {
    return std::static_pointer_cast<T>(LookupHandleObject(handle, kind));
  }
  std::shared_ptr<void> LookupHandleObject(const void* handle, HandleKind kind) const;
  bool IsHandleOfKind(const void* handle, HandleKind kind) const;
  // Removes the handle; false when it is not open or of another kind.
  bool RemoveHandle(const void* handle, HandleKind kind);
  size_t OpenHandleCount() const { return handles_.size(); }
  // One line per open handle ("Printer", "File"...), for test failure messages.
  std::string DescribeOpenHandles() const;

  FileSystem& files() { return *files_; }
  Registry& registry() { return *registry_; }
  ServiceManager& services() { return *services_; }
  Desktop& desktop() { return *desktop_; }
  Processes& processes() { return *processes_; }
  Mutexes& mutexes() { return *mutexes_; }
  PrivateNamespaces& namespaces() { return *namespaces_; }
  Spooler& spooler() { return *spooler_; }

 private:
  struct FaultRule {
    unsigned first;
    bool andLater;
    DWORD error;
  };
  struct HandleEntry {
    HandleKind kind;
    std::shared_ptr<void> object;
  };

  void EndProgram();

  DWORD tickCount_ = 1000000;
  uint64_t totalCalls_ = 0;
  uint64_t endAtCall_ = 0;
  bool ended_ = false;
  bool closingAtExit_ = false;
  uint64_t elapsed_ = 0;
  unsigned sleepCount_ = 0;
  std::map<std::string, unsigned> callCounts_;
  std::map<std::string, std::vector<FaultRule>> faults_;
  std::map<const void*, SIZE_T> globalBlocks_;
  std::map<const void*, SIZE_T> localBlocks_;
  std::map<const void*, HandleEntry> handles_;
  uintptr_t nextHandle_ = 0x1000;
  std::multimap<uint64_t, std::function<void()>> timers_;

  std::unique_ptr<FileSystem> files_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<ServiceManager> services_;
  std::unique_ptr<Desktop> desktop_;
  std::unique_ptr<Processes> processes_;
  std::unique_ptr<Mutexes> mutexes_;
  std::unique_ptr<PrivateNamespaces> namespaces_;
  std::unique_ptr<Spooler> spooler_;
};

// Used at the top of every simulated function: counts the call and applies an injected fault.
inline DWORD EnterCall(const char* function) {
  return Machine::Current().EnterCall(function);
}
// Called by a simulated function that succeeded and leaves the last error undefined.
inline void PoisonLastError() {
  Machine::Current().lastError = kPoisonedLastError;
}

}  // namespace winsim

// Fail the call with the injected error when one is due: sets the last error and returns value.
#define WINSIM_ENTER_OR_FAIL(failValue)                         \
  do {                                                          \
    if (DWORD winsimInjected = ::winsim::EnterCall(__func__)) { \
      ::winsim::Machine::Current().lastError = winsimInjected;  \
      return failValue;                                         \
    }                                                           \
  } while (0)
// For calls that return their error code instead of setting the last error (registry).
#define WINSIM_ENTER_OR_RETURN_ERROR()                          \
  do {                                                          \
    if (DWORD winsimInjected = ::winsim::EnterCall(__func__)) { \
      return (LSTATUS)winsimInjected;                           \
    }                                                           \
  } while (0)
