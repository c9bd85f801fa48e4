// The MSI package's custom actions over every kind of msiexec run: which runs of the installer
// each makes, what a rollback does, what msiexec is answered and the longest wait of the run;
// and the package's conditions are the ones tested here.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "msi_decisions.h"

namespace {

struct MsiRun {
  const char* name;
  MsiRunProperties properties;  // installed, upgrade found, REINSTALL, REMOVE=ALL, upgrading
  bool installFails;            // RunInstall fails: msiexec rolls back
  const char* foundBefore;      // what FindOurs noted ("" when it did not run)
  bool newerVersionStays;       // registered, where msiexec passes no UPGRADINGPRODUCTCODE
  const char* expected;         // the installer's runs, in order
  uint32_t longestWaitMs;
};

const MsiRun kRuns[] = {
    {"first install", {0, 0, 0, 0, 0}, false, "none", false, "install", 545950},
    {"repeated install", {1, 0, 0, 0, 0}, false, "", false, "install", 545950},
    {"repair", {1, 0, 1, 0, 0}, false, "", false, "removetray install", 951950},
    {"upgrade", {0, 1, 0, 0, 0}, false, "", false, "removetray install", 951950},
    {"removal", {1, 0, 0, 1, 0}, false, "", false, "uninstall", 481000},
    {"removal during an upgrade", {1, 0, 0, 1, 1}, false, "", true, "", 0},
    {"removal during an upgrade, property not passed", {1, 0, 0, 1, 0}, false, "", true, "", 0},
    {"failed first install",
     {0, 0, 0, 0, 0},
     true,
     "none",
     false,
     "install rollback:uninstall",
     1026950},
    {"failed first install over ours", {0, 0, 0, 0, 0}, true, "found", false, "install", 545950},
    {"failed first install, nothing noted", {0, 0, 0, 0, 0}, true, "", false, "install", 545950},
    {"failed upgrade", {0, 1, 0, 0, 0}, true, "", false, "removetray install", 951950},
    {"failed repair", {1, 0, 1, 0, 0}, true, "", false, "removetray install", 951950},
    {"first install, NOTRAY=1", {0, 0, 0, 0, 0, 1, 0}, false, "none", false, "in_notray", 545950},
    {"repair, NOTRAY=1 remembered",
     {1, 0, 1, 0, 0, 0, 1},
     false,
     "",
     false,
     "removetray in_notray",
     951950},
};

// Plays one run's script: the actions whose condition holds, in sequence order; a failed
// RunInstall ends it, and the rollback actions scheduled before it run in reverse order.
std::string Play(const MsiRun& run, uint64_t* waitMs, int* undecided) {
  std::string runs;
  std::vector<const CustomActionRow*> rollback;
  MsiRunProperties properties = run.properties;
  const char* installMode = "install";
  auto add = [&](const std::string& what, const char* mode) {
    runs += (runs.empty() ? "" : " ") + what;
    *waitMs += WaitBoundMs(mode);
  };
  for (int i = 0; i < kCustomActionCount; ++i) {
    const CustomActionRow& row = kCustomActions[i];
    int holds = ConditionHolds(row.condition, properties);
    if (holds < 0) ++*undecided;
    if (holds == 1 && std::string(row.action) == "RememberedNoTray") properties.noTray = true;
    if (holds == 1 && std::string(row.action) == "NoTrayMode") installMode = "in_notray";
    if (holds != 1 || row.mode[0] == '\0') continue;
    if (row.rollback) {
      rollback.push_back(&row);
      continue;
    }
    if (std::string(row.action) == "RunUninstall" && run.newerVersionStays) continue;
    const char* mode = std::string(row.action) == "RunInstall" ? installMode : row.mode;
    add(mode, mode);
    if (std::string(row.action) == "RunInstall" && run.installFails) {
      for (auto undo = rollback.rbegin(); undo != rollback.rend(); ++undo) {
        if (RollbackMayUninstall(run.foundBefore)) {
          add(std::string("rollback:") + (*undo)->mode, (*undo)->mode);
        }
      }
      break;
    }
  }
  return runs;
}

// The conditions setup/vexaWriter.wxs gives each action, by action name.
std::vector<std::pair<std::string, std::string>> PackageConditions() {
  std::ifstream file(std::string(SEQUENCE_LOGS_DIR) + "/../../../setup/vexaWriter.wxs");
  std::stringstream text;
  text << file.rdbuf();
  std::string wxs = text.str();
  std::regex custom("<Custom Action=\"(\\w+)\" Sequence=\"\\d+\">([^<]*)</Custom>");
  std::vector<std::pair<std::string, std::string>> found;
  for (std::sregex_iterator it(wxs.begin(), wxs.end(), custom), end; it != end; ++it) {
    found.emplace_back((*it)[1], (*it)[2]);
  }
  return found;
}

// A started installer that writes `chunks` one per wait and ends after `endsAfterMs` of waits.
struct ScriptedProgram : RunningProgram {
  std::vector<std::string> chunks;
  uint32_t endsAfterMs;
  uint64_t waitedMs = 0;
  size_t next = 0;
  bool WaitForEnd(uint32_t ms) override {
    if (waitedMs + ms >= endsAfterMs) return waitedMs = endsAfterMs, true;
    waitedMs += ms;
    return false;
  }
  uint32_t ReadAvailable(char* buffer, uint32_t size) override {
    if (next == chunks.size() || (waitedMs < endsAfterMs && next > waitedMs / 100)) return 0;
    std::string& chunk = chunks[next++];
    EXPECT_LE(chunk.size(), size);
    chunk.copy(buffer, chunk.size());
    return static_cast<uint32_t>(chunk.size());
  }
};

void Collect(void* lines, const char* line, uint32_t bytes) {
  static_cast<std::vector<std::string>*>(lines)->emplace_back(line, bytes);
}

TEST(MsiRunsTest, EveryActionDecidesRightInEveryRun) {
  int cases = 0;
  int wrong = 0;
  for (const MsiRun& run : kRuns) {
    uint64_t waitMs = 0;
    int undecided = 0;
    std::string runs = Play(run, &waitMs, &undecided);
    ++cases;
    if (runs != run.expected || waitMs != run.longestWaitMs || undecided != 0) {
      ++wrong;
      ADD_FAILURE() << run.name << ": " << runs << ", " << waitMs << " ms, " << undecided;
    }
  }
  // The package carries exactly these conditions, each action's type-51 action the same.
  auto package = PackageConditions();
  for (const auto& [action, condition] : package) {
    std::string name = action.rfind("Set", 0) == 0 ? action.substr(3) : action;
    int row = 0;
    while (row < kCustomActionCount && name != kCustomActions[row].action) ++row;
    ++cases;
    if (row == kCustomActionCount || condition != kCustomActions[row].condition) {
      ++wrong;
      ADD_FAILURE() << action << " has " << condition;
    }
  }
  EXPECT_EQ(package.size(), 12u);
  // What the actions answer msiexec, by the installer's exit code and its refused run lock.
  const struct {
    uint32_t exitCode;
    bool lockRefused;
    uint32_t answer;
    bool restart;
  } kAnswers[] = {{1, false, 0, false},
                  {2, false, 0, false},
                  {101, false, 0, true},
                  {100, false, 1603, false},
                  {100, true, 1618, false},
                  {6, false, 1603, false},
                  {kNoExitCode, true, 1603, false}};
  for (const auto& row : kAnswers) {
    bool restart = !row.restart;
    ++cases;
    if (ActionAnswer(row.exitCode, row.lockRefused, &restart) != row.answer ||
        restart != row.restart) {
      ++wrong;
      ADD_FAILURE() << "exit code " << row.exitCode << ", lock refused " << row.lockRefused;
    }
  }
  printf("msi runs: %d cases, %d wrong\n", cases, wrong);
  EXPECT_EQ(wrong, 0);
}

TEST(MsiRunsTest, TheWaitRunsOutAtTheBoundAndTheLogArrivesInLines) {
  std::vector<std::string> lines;
  LogLines split(Collect, &lines);
  ScriptedProgram stuck;
  stuck.chunks = {"==== run\r\n  Error(18): Can`t wait", " any longer\r\n\r\nExit code 100\r"};
  stuck.endsAfterMs = 0xFFFFFFFF;
  EXPECT_FALSE(WaitAndRead(stuck, WaitBoundMs("install"), 100, split));
  EXPECT_EQ(stuck.waitedMs, 545950u);
  EXPECT_EQ(WaitBoundMs("removetray"), 406000u);
  EXPECT_EQ(lines, (std::vector<std::string>{"==== run", "  Error(18): Can`t wait any longer", "",
                                             "Exit code 100"}));
  EXPECT_TRUE(split.LockRefused());

  // A run that ends: what it wrote last is still read; a line longer than the buffer comes in
  // pieces that each end on a whole character.
  std::string longLine = "x";
  for (int i = 0; i < 1200; ++i) longLine += "\xC3\xA9";
  longLine += "!";
  lines.clear();
  LogLines more(Collect, &lines);
  ScriptedProgram ends;
  ends.chunks = {"Exit code 1: no Error(18) here\n", longLine.substr(0, 2000),
                 longLine.substr(2000) + "\r\n"};
  ends.endsAfterMs = 150;
  EXPECT_TRUE(WaitAndRead(ends, WaitBoundMs("install"), 100, more));
  EXPECT_EQ(ends.waitedMs, 150u);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].size(), 2047u);
  EXPECT_EQ(lines[1] + lines[2], longLine);
  EXPECT_FALSE(more.LockRefused());
}

}  // namespace
