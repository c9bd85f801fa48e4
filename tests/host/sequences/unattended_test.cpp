// Runs that nobody watches: no log window where no user can see it, and every install and
// uninstall log appended to the log file in the account's temporary folder.
#include <stdio.h>

#include "sequence_fixture.h"

namespace {

const WideText kTemp = u"C:\\Users\\admin\\AppData\\Local\\Temp";
const WideText kLogFile = kTemp + u"\\vexaWriter-setup.log";
const WideText kOldLogFile = kTemp + u"\\vexaWriter-setup.old.log";
constexpr size_t kMiB = 1024 * 1024;

class UnattendedTest : public SequenceTest {
 protected:
  void FailNextCall(const char* function) {
    machine().FailCall(function, machine().CallCount(function) + 1, ERROR_ACCESS_DENIED);
  }
};

TEST_F(UnattendedTest, TheLogWindowAppearsOnlyWhereAUserCanSeeIt) {
  HWND owner = desktop().AddWindow(u"Setup", u"Setup");
  struct Case {
    bool visible, queryFails, error, shift;
    std::string arguments;
    int exitCode;
  } cases[] = {
      {false, false, true, false, "install", 100},
      {false, false, true, false, "in " + WindowNumber(owner), 100},
      {false, false, false, true, "in_notray", 1},
      {false, false, true, false, "un", 100},
      {true, true, true, false, "install", 100},  // visibility unknown
      {true, false, true, false, "install", 100},
      {true, false, false, true, "uninstall", 2},
  };
  for (const Case& c : cases) {
    desktop().windowStationVisible = c.visible;
    desktop().shiftDown = c.shift;
    if (c.queryFails) FailNextCall("GetUserObjectInformationW");
    if (c.error) FailNextCall("OpenSCManagerW");
    desktop().userActions = {winsim::UserAction::Escape()};
    unsigned dialogs = machine().CallCount("DialogBoxParamW");
    bool shown = c.visible && !c.queryFails;
    EXPECT_EQ(Run(c.arguments), c.exitCode) << c.arguments;
    EXPECT_EQ(machine().CallCount("DialogBoxParamW") - dialogs, shown ? 1u : 0u) << c.arguments;
    EXPECT_EQ(desktop().userActions.empty(), shown) << c.arguments;
  }
}

// Planted: the log a hard link, or a symbolic link to a file of the system's.
enum Folder { kMissing, kWritable, kReadOnly, kLinkPlanted, kSymbolicLinkPlanted };
constexpr char16_t kLinkTarget[] = u"C:\\Windows\\win.ini";
struct LogFileCase {
  const char* name;
  Folder folder;
  size_t earlierBytes;  // an earlier log of this size, and an older one; 0: neither
  std::vector<std::pair<std::string, int>> runs;  // arguments and exit code
};
void PrintTo(const LogFileCase& c, std::ostream* out) {
  *out << c.name;
}

class LogFileTest : public SequenceTest, public ::testing::WithParamInterface<LogFileCase> {};

TEST_P(LogFileTest, EachInstallAndUninstallAppendsItsEntry) {
  const LogFileCase& c = GetParam();
  const std::string earlier(c.earlierBytes, '.');
  if (c.folder != kMissing) files().AddDirectory(kTemp);
  if (c.earlierBytes != 0) files().AddFile(kLogFile, earlier);
  if (c.earlierBytes != 0) files().AddFile(kOldLogFile, "older");
  if (c.folder == kReadOnly) files().DenyWritesIn(kTemp);
  if (c.folder == kLinkPlanted) files().Find(kLogFile)->links = 2;
  files().AddFile(kLinkTarget, "[fonts]");
  if (c.folder == kSymbolicLinkPlanted) files().MakeSymbolicLink(kLogFile, kLinkTarget);

  std::string entries;
  for (const auto& [arguments, exitCode] : c.runs) {
    Outcome outcome = RunLogged(arguments);
    EXPECT_EQ(outcome.exitCode, exitCode) << arguments;
    EXPECT_EQ(outcome.log.find("Error"), std::string::npos) << arguments;
    if (outcome.log == "(no window)") continue;  // a query mode
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    entries += "==== " + std::string(stamp) + " " + arguments +
               " - vexaWriter build 2609 ====\r\n" + outcome.log + "Exit code " +
               std::to_string(exitCode) + "\r\n";
  }

  bool written = c.folder == kWritable;
  bool renamed = written && c.earlierBytes > kMiB;
  std::string log = written ? (renamed ? "" : earlier) + entries : earlier;
  EXPECT_EQ(files().Exists(kLogFile), !log.empty());
  EXPECT_EQ(files().Contents(kLogFile), log);
  EXPECT_EQ(files().Contents(kOldLogFile), renamed ? earlier : c.earlierBytes ? "older" : "");
  EXPECT_EQ(files().Contents(kLinkTarget), "[fonts]");
}

INSTANTIATE_TEST_SUITE_P(
    Folders, LogFileTest,
    ::testing::Values(
        LogFileCase{"new file", kWritable, 0, {{"INSTALL", 1}, {"un", 2}}},
        LogFileCase{"1 MiB: appended", kWritable, kMiB, {{"in_notray", 1}}},
        LogFileCase{"over 1 MiB: renamed", kWritable, kMiB + 1, {{"install", 1}, {"un", 2}}},
        LogFileCase{"queries",
                    kWritable,
                    0,
                    {{"onChkDrv", 3}, {"onInit", 102}, {"def.set", 4}, {"removetray", 6}}},
        LogFileCase{"read-only folder", kReadOnly, kMiB + 1, {{"install", 1}, {"un", 2}}},
        LogFileCase{"hard link", kLinkPlanted, kMiB + 1, {{"install", 1}}},
        LogFileCase{"symbolic link", kSymbolicLinkPlanted, 10, {{"install", 1}}},
        LogFileCase{"missing folder", kMissing, 0, {{"install", 1}}}));

}  // namespace
