// Runs that nobody watches: no log window where no user can see it, and every install and
// uninstall log appended to the log file in the account's temporary folder.
#include <stdio.h>

#include "sequence_fixture.h"

namespace {

const WideText kTemp = u"C:\\Users\\admin\\AppData\\Local\\Temp";
const WideText kLogFile = kTemp + u"\\vexaWriter-setup.log";
const WideText kOldLogFile = kTemp + u"\\vexaWriter-setup.old.log";
constexpr size_t kMiB = 1024 * 1024;

class UnattendedTest : public SequenceTest {};

TEST_F(UnattendedTest, TheLogWindowAppearsOnlyWhereAUserCanSeeIt) {
  HWND owner = desktop().AddWindow(u"Setup", u"Setup");
  struct Case {
    const char* name;
    bool visible;
    bool queryFails;
    bool error;
    bool shift;
    std::string arguments;
    int exitCode;
    bool shown;
  } cases[] = {
      {"invisible, error", false, false, true, false, "install", 100, false},
      {"invisible, error, owner", false, false, true, false, "in " + WindowNumber(owner), 100,
       false},
      {"invisible, Shift", false, false, false, true, "in_notray", 1, false},
      {"invisible, uninstall error", false, false, true, false, "un", 100, false},
      {"station unknown, error", true, true, true, false, "install", 100, false},
      {"visible, error", true, false, true, false, "install", 100, true},
      {"visible, Shift", true, false, false, true, "uninstall", 2, true},
  };
  for (const Case& c : cases) {
    desktop().windowStationVisible = c.visible;
    desktop().shiftDown = c.shift;
    if (c.queryFails) {
      machine().FailCall("GetUserObjectInformationW",
                         machine().CallCount("GetUserObjectInformationW") + 1, ERROR_ACCESS_DENIED);
    }
    if (c.error) {
      machine().FailCall("OpenSCManagerW", machine().CallCount("OpenSCManagerW") + 1,
                         ERROR_ACCESS_DENIED);
    }
    desktop().userActions = {winsim::UserAction::Escape()};
    unsigned dialogs = machine().CallCount("DialogBoxParamW");
    EXPECT_EQ(Run(c.arguments), c.exitCode) << c.name;
    EXPECT_EQ(machine().CallCount("DialogBoxParamW") - dialogs, c.shown ? 1u : 0u) << c.name;
    EXPECT_EQ(desktop().userActions.empty(), c.shown) << c.name;
  }
  EXPECT_FALSE(desktop().shownDialogs.back().leftOpen);
}

struct ModeRun {
  const char* arguments;
  int exitCode;
};

struct LogFileCase {
  const char* name;
  bool folderExists;
  bool folderReadOnly;
  size_t earlierBytes;  // an earlier log of this size; 0: none
  std::vector<ModeRun> runs;
  bool written;  // the runs' entries reach the log file
  bool renamed;  // the earlier log becomes the old log first
};

void PrintTo(const LogFileCase& c, std::ostream* out) {
  *out << c.name;
}

class LogFileTest : public SequenceTest, public ::testing::WithParamInterface<LogFileCase> {
 protected:
  std::string Stamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    return stamp;
  }
};

TEST_P(LogFileTest, EachInstallAndUninstallAppendsItsEntry) {
  const LogFileCase& c = GetParam();
  const std::string earlier(c.earlierBytes, '.');
  if (c.folderExists) files().AddDirectory(kTemp);
  if (c.earlierBytes != 0) files().AddFile(kLogFile, earlier);
  if (c.earlierBytes != 0) files().AddFile(kOldLogFile, "older");
  if (c.folderReadOnly) files().DenyWritesIn(kTemp);

  std::string entries;
  for (const ModeRun& run : c.runs) {
    Outcome outcome = RunLogged(run.arguments);
    EXPECT_EQ(outcome.exitCode, run.exitCode) << run.arguments;
    EXPECT_EQ(outcome.log.find("Error"), std::string::npos) << run.arguments;
    if (outcome.log == "(no window)") continue;  // a query mode
    // The install's end marker follows the window; the file has the whole log.
    bool install = outcome.log.find("##0010") != std::string::npos;
    entries += "==== " + Stamp() + " " + run.arguments + " - vexaWriter build 2609 ====\r\n" +
               outcome.log + (install ? "##0020\r\n" : "") + "Exit code " +
               std::to_string(run.exitCode) + "\r\n";
  }

  std::string log = c.written ? (c.renamed ? "" : earlier) + entries : earlier;
  EXPECT_EQ(files().Exists(kLogFile), !log.empty());
  EXPECT_EQ(files().Contents(kLogFile), log);
  EXPECT_EQ(files().Contents(kOldLogFile), c.renamed ? earlier : c.earlierBytes ? "older" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Folders, LogFileTest,
    ::testing::Values(
        LogFileCase{"new file", true, false, 0, {{"INSTALL", 1}, {"un", 2}}, true, false},
        LogFileCase{"exactly 1 MiB: appended", true, false, kMiB, {{"in_notray", 1}}, true, false},
        LogFileCase{
            "over 1 MiB: renamed", true, false, kMiB + 1, {{"install", 1}, {"un", 2}}, true, true},
        LogFileCase{"query modes",
                    true,
                    false,
                    0,
                    {{"onChkDrv", 3}, {"onInit", 102}, {"def.set", 4}, {"removetray", 6}},
                    false,
                    false},
        LogFileCase{
            "read-only folder", true, true, kMiB + 1, {{"install", 1}, {"un", 2}}, false, false},
        LogFileCase{"missing folder", false, false, 0, {{"install", 1}}, false, false}));

}  // namespace
