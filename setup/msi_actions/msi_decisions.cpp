#include "msi_decisions.h"

#include "sequences/wait_bounds.h"

// StopCompanion runs only where Windows Installer replaces files of an installed copy (an
// upgrade over an older version, a repair); a repeated install copies nothing and its "install"
// stops and starts the companion itself. RunUninstall runs for a removal that no newer version
// makes. UndoInstall, and FindOurs that tells it what was there before, only for a first
// install: a failed upgrade or repair leaves the installed version's printers to it.
const CustomActionRow kCustomActions[] = {
    {"RememberedNoTray", "", false, "NOT NOTRAY AND REMEMBEREDNOTRAY"},
    {"NoTrayMode", "", false, "NOTRAY=\"1\""},
    {"ArpInstallLocation", "", false, "NOT REMOVE~=\"ALL\""},
    {"FindOurs", "", false, "NOT Installed AND NOT WIX_UPGRADE_DETECTED"},
    {"StopCompanion", "removetray", false,
     "(NOT Installed AND WIX_UPGRADE_DETECTED) OR (Installed AND REINSTALL AND NOT "
     "REMOVE~=\"ALL\")"},
    {"RunUninstall", "uninstall", false, "REMOVE~=\"ALL\" AND NOT UPGRADINGPRODUCTCODE"},
    {"UndoInstall", "uninstall", true, "NOT Installed AND NOT WIX_UPGRADE_DETECTED"},
    {"RunInstall", "install", false, "NOT REMOVE~=\"ALL\""},
};
const int kCustomActionCount = sizeof(kCustomActions) / sizeof(kCustomActions[0]);

namespace {

// The first `length` characters of `text` are all of `word`; ignoreCase compares ASCII letters
// without their case.
bool Is(const char* text, int length, const char* word, bool ignoreCase) {
  for (int i = 0; i < length; ++i) {
    char x = text[i], y = word[i];
    if (ignoreCase) {
      x = x >= 'a' && x <= 'z' ? x - 32 : x;
      y = y >= 'a' && y <= 'z' ? y - 32 : y;
    }
    if (y == '\0' || x != y) return false;
  }
  return word[length] == '\0';
}

int NameLength(const char* text) {
  int length = 0;
  while ((text[length] >= 'A' && text[length] <= 'Z') ||
         (text[length] >= 'a' && text[length] <= 'z') || text[length] == '_') {
    ++length;
  }
  return length;
}

// A recursive descent over the part of Windows Installer's condition syntax the package uses:
// OR, AND, NOT, parentheses, a property's truth, and = or ~= against a quoted string.
class Condition {
 public:
  Condition(const char* text, const MsiRunProperties& run) : at_(text), run_(run) {}
  int Evaluate() {
    bool value = Or();
    Skip();
    return valid_ && *at_ == '\0' ? value : -1;
  }

 private:
  void Skip() {
    while (*at_ == ' ') ++at_;
  }
  bool Word(const char* word) {  // the operators, in any letter case
    Skip();
    int length = NameLength(at_);
    if (!Is(at_, length, word, true)) return false;
    at_ += length;
    return true;
  }
  bool Or() {
    bool value = And();
    while (Word("OR")) value = And() || value;
    return value;
  }
  bool And() {
    bool value = Not();
    while (Word("AND")) value = Not() && value;
    return value;
  }
  bool Not() {
    if (Word("NOT")) return !Not();
    Skip();
    if (*at_ == '(') {
      ++at_;
      bool value = Or();
      Skip();
      if (*at_ == ')') {
        ++at_;
      } else {
        valid_ = false;
      }
      return value;
    }
    return Property();
  }
  bool Property() {  // property names keep their case
    const char* name = at_;
    int length = NameLength(name);
    at_ += length;
    Skip();
    bool ignoreCase = at_[0] == '~' && at_[1] == '=';
    if (ignoreCase || at_[0] == '=') {
      at_ += ignoreCase ? 2 : 1;
      Skip();
      if (*at_ != '"') return valid_ = false;
      const char* quoted = ++at_;
      while (*at_ != '\0' && *at_ != '"') ++at_;
      if (*at_ != '"') return valid_ = false;
      int quotedLength = static_cast<int>(at_++ - quoted);
      if (Is(name, length, "REMOVE", false)) {
        return run_.removeAll == Is(quoted, quotedLength, "ALL", ignoreCase);
      }
      if (Is(name, length, "NOTRAY", false)) {
        return run_.noTray == Is(quoted, quotedLength, "1", ignoreCase);
      }
      return valid_ = false;
    }
    if (Is(name, length, "Installed", false)) return run_.installed;
    if (Is(name, length, "WIX_UPGRADE_DETECTED", false)) return run_.upgradeDetected;
    if (Is(name, length, "REINSTALL", false)) return run_.reinstall;
    if (Is(name, length, "REMOVE", false)) return run_.removeAll;
    if (Is(name, length, "UPGRADINGPRODUCTCODE", false)) return run_.upgradingProduct;
    if (Is(name, length, "NOTRAY", false)) return run_.noTray;
    if (Is(name, length, "REMEMBEREDNOTRAY", false)) return run_.rememberedNoTray;
    return valid_ = false;
  }

  const char* at_;
  const MsiRunProperties& run_;
  bool valid_ = true;
};

}  // namespace

int ConditionHolds(const char* condition, const MsiRunProperties& run) {
  return Condition(condition, run).Evaluate();
}

uint32_t ActionAnswer(uint32_t exitCode, bool lockRefused, bool* restart) {
  *restart = exitCode == 101;  // done; held files go at the next restart
  if (exitCode == 1 || exitCode == 2 || exitCode == 101) return kActionSucceeded;
  // Another run held the lock all the time this run could wait: nothing was changed, and a
  // later attempt can succeed.
  if (exitCode == 100 && lockRefused) return kAnotherInstallRuns;
  return kActionFailed;  // 100 (errors, the log says which) or no exit code
}

uint32_t WaitBoundMs(const char* mode) {
  return static_cast<uint32_t>(wait_bounds::ForMode(mode));
}

bool RollbackMayUninstall(const char* foundBefore) {
  for (int i = 0; i < static_cast<int>(sizeof(kNothingOurs)); ++i) {
    if (foundBefore[i] != kNothingOurs[i]) return false;
  }
  return true;
}

void LogLines::Pass(uint32_t length) {
  uint32_t start = 0;
  while (start < length && (line_[start] == ' ' || line_[start] == '\t')) ++start;
  const char kRefused[] = "Error(18)";
  if (length - start >= sizeof(kRefused) - 1) {
    bool same = true;
    for (uint32_t i = 0; i + 1 < sizeof(kRefused); ++i)
      same = same && line_[start + i] == kRefused[i];
    lockRefused_ = lockRefused_ || same;
  }
  sink_(context_, line_, length);
}

void LogLines::Add(const char* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    char byte = bytes[i];
    if (byte == '\n') {
      Pass(length_ > 0 && line_[length_ - 1] == '\r' ? length_ - 1 : length_);
      length_ = 0;
      continue;
    }
    if (length_ == sizeof(line_)) {
      // Cut before the character the next byte continues, so that each piece converts whole.
      uint32_t cut = length_;
      if ((byte & 0xC0) == 0x80) {
        while (cut > 0 && (line_[cut - 1] & 0xC0) == 0x80) --cut;
        if (cut > 0) --cut;  // the lead byte goes with its continuation
        if (cut == 0) cut = length_;
      }
      Pass(cut);
      for (uint32_t j = cut; j < length_; ++j) line_[j - cut] = line_[j];
      length_ -= cut;
    }
    line_[length_++] = byte;
  }
}

void LogLines::Finish() {
  if (length_ > 0) Pass(line_[length_ - 1] == '\r' ? length_ - 1 : length_);
  length_ = 0;
}

bool WaitAndRead(RunningProgram& program, uint32_t boundMs, uint32_t sliceMs, LogLines& lines) {
  // A few reads per pass: output arriving without end cannot keep the wait from running out.
  const int kReadsPerPass = 64;
  char buffer[4096];
  uint32_t waited = 0;
  bool ended = false;
  for (;;) {
    for (int read = 0; read < kReadsPerPass; ++read) {
      uint32_t count = program.ReadAvailable(buffer, sizeof(buffer));
      if (count == 0) break;
      lines.Add(buffer, count);
    }
    if (ended || waited >= boundMs) break;
    uint32_t slice = boundMs - waited < sliceMs ? boundMs - waited : sliceMs;
    ended = program.WaitForEnd(slice);
    if (!ended) waited += slice;
  }
  lines.Finish();
  return ended;
}
