// Simulated file system: files and directories by full path, compared without letter case
// ("/" counts as "\"). Files can be held: while held, deleting or opening them for writing
// fails with the hold's error; a file held as a loaded module (a DLL the spooler has loaded)
// fails a deletion with ERROR_ACCESS_DENIED and a write-open with ERROR_SHARING_VIOLATION, as
// the platform does. A holder can let go of all its files at once (the spooler does when it
// stops). A file deleted while handles that allow deletion are open keeps its name until the
// last of them closes: it can still be read through them, but not opened again.
// A directory can deny writes, as one whose access list lets the account read only: creating,
// writing, renaming or deleting a file directly in it fails with ERROR_ACCESS_DENIED.
//
// Every file and folder has an owner and an access list (security identifiers in text form),
// which GetSecurityInfo reports; they decide no access here (DenyWritesIn does). Staged ones
// belong to Administrators, with full control for the system account and Administrators and
// read access for Users; one the program makes belongs to the account's default owner and
// takes its folder's list, or the list of the descriptor it was made with.
//
// A link (a symbolic link to a file, or a junction or directory link to a folder) names
// another path. CreateFileW follows every link on the way and, unless it is asked to open the
// link itself (FILE_FLAG_OPEN_REPARSE_POINT), the last one too; the handle reaches the target,
// whose path GetFinalPathNameByHandleW tells. The other calls that take a path do not resolve
// links.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include "winsim/text.h"

namespace winsim {

constexpr const char* kSystemSid = "S-1-5-18";
constexpr const char* kAdministratorsSid = "S-1-5-32-544";
constexpr const char* kUsersSid = "S-1-5-32-545";
constexpr const char* kEveryoneSid = "S-1-1-0";
// "NT SERVICE\TrustedInstaller", owner of the system's own folders.
constexpr const char* kTrustedInstallerSid =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// One entry of an access list: who, which rights, and the inheritance flags.
struct AccessEntry {
  std::string sid;
  DWORD mask = 0;
  BYTE flags = 0;
  BYTE type = 0;  // ACCESS_ALLOWED_ACE_TYPE or ACCESS_DENIED_ACE_TYPE
  bool operator==(const AccessEntry& other) const {
    return sid == other.sid && mask == other.mask && flags == other.flags && type == other.type;
  }
};
// Full control for the system account and Administrators, read for Users; all passed on to
// what is made inside.
std::vector<AccessEntry> DefaultAccess();
constexpr DWORD kWriteAccess = 0x120116;  // FILE_GENERIC_WRITE
// The virtual time a wait that never ends (an unacknowledged oplock break, a full pipe nobody
// reads) stands for: an hour, beyond every bound the program publishes.
constexpr DWORD kOplockWait = 3600 * 1000;

class FileSystem {
 public:
  struct OpenFile;

  // Staging. Parent directories are created as needed.
  void AddDirectory(const WideText& path);
  void AddFile(const WideText& path, const std::string& contents = std::string());
  void Remove(const WideText& path);
  bool Exists(const WideText& path) const;
  bool IsFile(const WideText& path) const;
  bool IsDirectory(const WideText& path) const;
  std::string Contents(const WideText& path) const;
  // Full paths of the files (not directories) directly or indirectly below a directory.
  std::vector<WideText> FilesBelow(const WideText& directory) const;

  // Holds: error is ERROR_SHARING_VIOLATION or ERROR_ACCESS_DENIED.
  void Hold(const WideText& path, const std::string& holder = "process",
            DWORD error = ERROR_SHARING_VIOLATION);
  void HoldAsLoadedModule(const WideText& path, const std::string& holder);
  // A hold (by "process") that ends by itself once it has refused this many openings for
  // writing, as a scanner's that reads a new file for a moment.
  void HoldForRefusals(const WideText& path, unsigned refusals,
                       DWORD error = ERROR_SHARING_VIOLATION);
  void ReleaseHold(const WideText& path);
  void ReleaseHoldsOf(const std::string& holder);
  bool IsHeld(const WideText& path) const;

  // A link at path to target (a folder link when directory is true); parents are created.
  void AddLink(const WideText& path, const WideText& target, bool directory);
  // The path with every link on it resolved (the last one only when followLast); empty when
  // links run in a circle.
  WideText Resolve(const WideText& path, bool followLast) const;
  void SetOwner(const WideText& path, const std::string& sid);
  // Adds an entry that lets the account write (or have the rights given), passed on to what is
  // made inside (or as the flags say: INHERIT_ONLY_ACE gives the folder itself nothing).
  void AllowWrites(const WideText& path, const std::string& sid, DWORD mask = kWriteAccess,
                   BYTE flags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  // Another account replaces the file once it has been opened `opens` times: the next
  // CreateFileW of the path finds a new file with these contents, the same owner and access
  // list, whatever handles are open, while those handles still reach the file they opened
  // (which goes once none is left).
  void ReplaceAfterOpens(const WideText& path, const std::string& contents, unsigned opens);
  // Called by CreateFileW before it looks the path up.
  void ReplaceIfDue(const WideText& path);

  void DenyWritesIn(const WideText& directory);
  bool WritesDeniedBeside(const WideText& path) const;  // in the directory that holds path

  // Each CreateFileW of the path takes this long (virtual time), for slow-media scenarios.
  void SetOpenDelay(const WideText& path, DWORD milliseconds);
  // WriteFile to the path writes at most this many bytes per call (a short write).
  void SetWriteLimit(const WideText& path, DWORD bytesPerCall);
  // The product version a version resource of the file carries, as four numbers. It is kept in
  // the file's bytes (a marker at their end), so that a copy of the file carries it too; set
  // the contents first. The file version is the product version unless SetFileVersion (called
  // after SetProductVersion) gives it apart.
  void SetProductVersion(const WideText& path, std::array<WORD, 4> version);
  void SetFileVersion(const WideText& path, std::array<WORD, 4> version);
  std::optional<std::array<WORD, 4>> ProductVersion(const WideText& path) const;
  std::optional<std::array<WORD, 4>> FileVersion(const WideText& path) const;

  // Used by the simulated calls.
  struct Node {
    WideText path;
    bool directory = false;
    std::string data;
    std::string holder;  // empty: not held
    DWORD holdError = 0;
    DWORD holdDeleteError = 0;  // 0: holdError
    unsigned refusalsLeft = 0;  // 0: the hold lasts until it is released
    bool deletePending = false;
    DWORD openDelay = 0;
    DWORD writeLimit = 0;
    bool writesDenied = false;  // directories only
    DWORD links = 1;            // names the file has: more than 1 when hard links were made
    // An opportunistic lock whose holder never acknowledges a break: an open by path that
    // needs more than its attributes waits for it (kOplockWait) unless it asks to fail instead
    // (FILE_FLAG_OPEN_REQUIRING_OPLOCK: ERROR_CANNOT_BREAK_OPLOCK).
    bool oplocked = false;
    // Not 0: the write end of a pipe with a buffer of this many bytes that nobody reads (data
    // holds what is in it). A write that does not fit waits (kOplockWait, then writes what
    // fits) or, on a handle set to PIPE_NOWAIT, writes nothing and succeeds, as Wine measured.
    DWORD pipeBuffer = 0;
    WideText linkTarget;  // not empty: a link to this path
    std::string owner = kAdministratorsSid;
    std::vector<AccessEntry> access = DefaultAccess();
    bool accessProtected = false;            // its list takes nothing from its folder's
    std::optional<std::string> replacement;  // ReplaceAfterOpens's contents
    unsigned opensBeforeReplacement = 0;
    std::vector<std::weak_ptr<OpenFile>> opens;
  };
  struct OpenFile {
    WideText key;
    DWORD access = 0;   // GENERIC_READ and GENERIC_WRITE, as far as reads and writes go
    DWORD desired = 0;  // the access asked for, as given
    DWORD share = 0;
    bool appendOnly = false;  // FILE_APPEND_DATA without FILE_WRITE_DATA: writes go to the end
    bool noWait = false;      // a pipe end set to PIPE_NOWAIT
    size_t position = 0;
  };
  Node* Find(const WideText& path);
  const Node* Find(const WideText& path) const;
  bool ParentExists(const WideText& path) const;
  Node& Create(const WideText& path, bool directory);
  // A new file or folder the program makes: its owner and access as the account and the
  // folder give them.
  Node& CreateAsProgram(const WideText& path, bool directory);
  void Erase(const WideText& path);
  // Removes a file whose deletion waited for its handles once none is open any more.
  void FinishPendingDelete(const WideText& key);
  static WideText Key(const WideText& path);
  // MoveFileExW without MOVEFILE_DELAY_UNTIL_REBOOT: renames a file now; returns the error to
  // fail with, or 0. Open handles follow the file.
  DWORD MoveNow(const WideText& from, const WideText& to, DWORD flags);

 private:
  std::map<WideText, Node> nodes_;
};

}  // namespace winsim
