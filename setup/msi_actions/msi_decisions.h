// What the MSI package's custom actions decide, apart from the platform: when each action runs
// (its condition, as setup/vexaWriter.wxs carries it), what a run's exit code and log answer
// msiexec, how long an action waits for the installer, whether the rollback of a first install
// may run "uninstall", and the installer's log split into the lines the MSI log gets.
#pragma once

#include <stdint.h>

// The package's custom actions, in the order of the execution sequence: those that run the
// installer with the keyword they run and the condition both they and the type-51 action before
// them carry; those that only set a property with no keyword.
struct CustomActionRow {
  const char* action;
  const char* mode;
  bool rollback;  // runs only when the install fails after it, in the reverse order
  const char* condition;
};
extern const CustomActionRow kCustomActions[];
extern const int kCustomActionCount;

// The properties those conditions read, for one msiexec run.
struct MsiRunProperties {
  bool installed;         // Installed: this product is installed already
  bool upgradeDetected;   // WIX_UPGRADE_DETECTED: an older version is installed
  bool reinstall;         // REINSTALL is set (a repair)
  bool removeAll;         // REMOVE="ALL"
  bool upgradingProduct;  // UPGRADINGPRODUCTCODE: a newer version removes this one
  bool noTray;            // NOTRAY="1" on the command line (or taken from the remembered one)
  bool rememberedNoTray;  // REMEMBEREDNOTRAY: an earlier run's NOTRAY=1, read from the registry
};

// 1 when the condition holds, 0 when not, -1 when it is not one these properties can decide
// (an unknown property or a malformed expression).
int ConditionHolds(const char* condition, const MsiRunProperties& run);

// msiexec's answers.
constexpr uint32_t kActionSucceeded = 0;        // ERROR_SUCCESS
constexpr uint32_t kActionFailed = 1603;        // ERROR_INSTALL_FAILURE
constexpr uint32_t kAnotherInstallRuns = 1618;  // ERROR_INSTALL_ALREADY_RUNNING
constexpr uint32_t kNoExitCode = 0xFFFFFFFF;    // the installer did not start or did not end

// What an action that must succeed answers for the installer's exit code; lockRefused when the
// run's log said it could not have the run lock. *restart is set for the exit code that leaves
// files to the next restart.
uint32_t ActionAnswer(uint32_t exitCode, bool lockRefused, bool* restart);

// The most an action waits for the installer running `mode`: the published bound of that mode.
uint32_t WaitBoundMs(const char* mode);

// The rollback's CustomActionData starts with what the package found before the install began:
// kNothingOurs only when no monitor, driver, printer or saved record of ours was there. Anything
// else (something found, or not known) keeps the rollback from running "uninstall".
constexpr char kNothingOurs[] = "none";
bool RollbackMayUninstall(const char* foundBefore);

// The installer's log as it arrives on the pipe, cut into lines without their CR LF. A line
// longer than the buffer is passed on in pieces, each ending on a whole UTF-8 character.
class LogLines {
 public:
  using Sink = void (*)(void* context, const char* line, uint32_t bytes);
  LogLines(Sink sink, void* context) : sink_(sink), context_(context) {}
  void Add(const char* bytes, uint32_t count);
  void Finish();  // passes on an unfinished last line
  // A line reported the run lock refused ("Error(18)" at its start, after any indent).
  bool LockRefused() const { return lockRefused_; }

 private:
  void Pass(uint32_t length);
  Sink sink_;
  void* context_;
  char line_[2048];
  uint32_t length_ = 0;
  bool lockRefused_ = false;
};

// A started installer as the wait sees it.
class RunningProgram {
 public:
  virtual ~RunningProgram() = default;
  // Waits up to `ms` for the program to end; true when it has.
  virtual bool WaitForEnd(uint32_t ms) = 0;
  // Copies what the pipe holds now, without waiting, into `buffer`; the bytes copied.
  virtual uint32_t ReadAvailable(char* buffer, uint32_t size) = 0;
};

// Reads the program's output into `lines` while waiting for it to end, in waits of at most
// `sliceMs`, for at most `boundMs` of waiting in all. True when it ended in time.
bool WaitAndRead(RunningProgram& program, uint32_t boundMs, uint32_t sliceMs, LogLines& lines);
