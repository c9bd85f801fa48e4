// Simulated mutexes, named or not. A mutex lives as long as something refers to it: a handle
// of the program under test, or a scripted process that opened it (both hold a shared_ptr);
// its name disappears with it, so the next CreateMutexA of the name makes a new one. Names
// compare exactly, letter case included.
//
// Ownership is by process: the program under test is one single-threaded process, scripted
// processes are the others. Owning is recursive; a process that ends while owning a mutex
// abandons it, and the next one to acquire it is told so (WAIT_ABANDONED).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include "winsim/security.h"

namespace winsim {

// The name under which a session's object of that name lives: a "Global\\" name is the
// machine's; a "Local\\" or unprefixed one is the session's own, which for session 0 (the
// services') is the machine's and for the program's default session is the name itself.
std::string SessionObjectName(DWORD session, const std::string& name);

class Mutexes {
 public:
  struct Mutex {
    std::string name;  // empty: unnamed
    DWORD owner = 0;   // process id; 0 when free
    unsigned recursion = 0;
    bool abandoned = false;
    ObjectSecurity security;  // set by whoever makes it
  };

  // The mutex of that name, made when none lives; *existed tells which. An empty name makes a
  // new unnamed mutex.
  std::shared_ptr<Mutex> Open(const std::string& name, bool* existed);
  bool Exists(const std::string& name) const;
  // The process owning the named mutex; 0 when it is free or does not exist.
  DWORD OwnerOf(const std::string& name) const;

  // Takes the mutex when it is free or already the taker's; false when another process owns it.
  static bool TryAcquire(Mutex& mutex, DWORD processId, bool* wasAbandoned);
  // Gives up one level of ownership; false when the process does not own the mutex.
  static bool Release(Mutex& mutex, DWORD processId);
  // The process ended: every mutex it still owns becomes free and abandoned.
  void AbandonAllOf(DWORD processId);
  // The names of the mutexes the process owns.
  std::vector<std::string> OwnedBy(DWORD processId) const;

 private:
  std::map<std::string, std::weak_ptr<Mutex>> named_;
};

}  // namespace winsim
