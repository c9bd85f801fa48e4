// Runs that nobody watches: no log window where no user can see it, and every install and
// uninstall log appended to the log file in the account's temporary folder.
#include <stdio.h>

#include <algorithm>

#include "sequence_fixture.h"
#include "wait_bounds.h"
#include "winsim/processes.h"

namespace {

const WideText kTemp = u"C:\\Users\\admin\\AppData\\Local\\Temp";
const WideText kLogFile = kTemp + u"\\vexaWriter-setup.log";
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

// Where the log goes, and what a test plants there first.
enum Planted {
  kMissing,                 // no temporary folder
  kWritable,                // the account's own temporary folder
  kReadOnly,                // ... which the account may not write
  kHardLink,                // the log has two names
  kOthersWrite,             // Users may write in the temporary folder
  kFolderLink,              // the temporary folder is a link to another folder
  kParentLink,              // a folder on the way to it is a link
  kFileLink,                // the log is a symbolic link to another file
  kFileOfAnother,           // the log belongs to another account
  kOplocked,                // the log holds an opportunistic lock whose holder never lets go
  kOtherCase,               // the temporary folder reported in other letter case
  kInheritOnlyUsers,        // Users may write in the folders made inside it, only
  kWriteDacOfAnother,       // another account may change the folder's access list
  kWriteOwnerOfAnother,     // ... or take it over
  kSystemTemp,              // the system account, with the system-only temporary folder unused
  kSystemNoTemp2,           // the system account, on a system without it: the program's own folder
  kProgramFolderOk,         // ... which exists already, owned by Administrators
  kProgramFolderOfAnother,  // ... which exists, owned by another account: the run makes its own
  kProgramFolderOpen,       // ... which exists, and Users may write in it: likewise
};
// The caller's standard output.
enum Channel { kNoChannel, kCapturedFile, kUnreadPipe, kFailingHandle };
struct LogFileCase {
  const char* name;
  Planted setup;
  size_t earlierBytes;  // an earlier log of this size, and an older one; 0: neither
  std::vector<std::pair<std::string, int>> runs;  // arguments and exit code
  bool written;
  Channel channel = kNoChannel;
};
void PrintTo(const LogFileCase& c, std::ostream* out) {
  *out << c.name;
}

const WideText kElsewhere = u"C:\\Elsewhere";
const WideText kProgramFolder = u"C:\\ProgramData\\vexaWriter-logs";
const char kOtherUser[] = "S-1-5-21-1000-1000-1000-1002";

class LogFileTest : public SequenceTest, public ::testing::WithParamInterface<LogFileCase> {
 protected:
  // The folder the account's log belongs in.
  WideText Stage(Planted setup) {
    winsim::Processes& processes = machine().processes();
    bool system = setup >= kSystemTemp;
    if (system) processes.token = winsim::Token::SystemAccount();
    if (system) files().AddDirectory(u"C:\\ProgramData");
    processes.hasGetTempPath2 = setup == kSystemTemp;
    if (setup == kSystemTemp) files().AddDirectory(u"C:\\Windows\\SystemTemp");
    if (setup >= kProgramFolderOk) files().AddDirectory(kProgramFolder);
    if (setup == kProgramFolderOfAnother) files().SetOwner(kProgramFolder, kOtherUser);
    if (setup == kProgramFolderOpen) files().AllowWrites(kProgramFolder, winsim::kUsersSid);
    if (setup == kFolderLink) files().AddLink(kTemp, kElsewhere, true);
    if (setup == kParentLink) {
      files().AddLink(u"C:\\Users\\admin\\AppData", kElsewhere, true);
      files().AddDirectory(kElsewhere + u"\\Local\\Temp");
    }
    if (setup == kFileLink) files().AddLink(kLogFile, kElsewhere + u"\\target.txt", false);
    files().AddFile(kElsewhere + u"\\target.txt", "planted");
    if (setup != kMissing && !system && setup != kFolderLink && setup != kParentLink) {
      files().AddDirectory(kTemp);
    }
    if (setup == kReadOnly) files().DenyWritesIn(kTemp);
    if (setup == kOthersWrite) files().AllowWrites(kTemp, winsim::kUsersSid);
    if (setup == kOtherCase) processes.tempDirectory = u"c:\\USERS\\Admin\\appdata\\local\\temp\\";
    const winsim::AccessEntry added[] = {
        {winsim::kUsersSid, FILE_ALL_ACCESS, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, 0},
        {kOtherUser, WRITE_DAC, 0, 0},
        {kOtherUser, WRITE_OWNER, 0, 0}};
    if (setup >= kInheritOnlyUsers && setup <= kWriteOwnerOfAnother) {
      files().Find(kTemp)->access.push_back(added[setup - kInheritOnlyUsers]);
    }
    return system ? kProgramFolder : kTemp;
  }
  // The folder the program made in place of its own, as it recorded it; empty for none.
  WideText RecordedFolder() {
    const auto* value = machine().registry().GetValue(
        HKEY_LOCAL_MACHINE, u"Software\\Morvane Software KFT\\vexaWriter", u"LogFolder");
    if (value == nullptr || value->data.size() < 2) return WideText();
    return WideText(reinterpret_cast<const char16_t*>(value->data.data()),
                    value->data.size() / 2 - 1);
  }
  // Every log file on the machine.
  std::vector<WideText> LogFiles() {
    std::vector<WideText> logs;
    for (const WideText& file : files().FilesBelow(u"C:")) {
      bool link = !files().Find(file)->linkTarget.empty();
      if (!link && Utf8(file).find("vexaWriter-setup") != std::string::npos) logs.push_back(file);
    }
    std::sort(logs.begin(), logs.end());
    return logs;
  }
};

TEST_P(LogFileTest, EachInstallAndUninstallAppendsItsEntry) {
  const LogFileCase& c = GetParam();
  const std::string earlier(c.earlierBytes, '.');
  WideText folder = Stage(c.setup);
  bool taken = c.setup == kProgramFolderOfAnother || c.setup == kProgramFolderOpen;
  WideText logFile = folder + u"\\vexaWriter-setup.log";
  WideText oldLogFile = folder + u"\\vexaWriter-setup.old.log";
  HANDLE& output = machine().processes().standardOutput;
  if (c.channel != kNoChannel) {  // an unread pipe takes 700 bytes; a read-only handle fails
    files().AddFile(u"C:\\channel");
    files().Find(u"C:\\channel")->pipeBuffer = c.channel == kUnreadPipe ? 700 : 0;
    output = CreateFileW(L"C:\\channel", c.channel == kFailingHandle ? GENERIC_READ : GENERIC_WRITE,
                         0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  if (c.earlierBytes != 0) files().AddFile(logFile, earlier);
  if (c.earlierBytes != 0) files().AddFile(oldLogFile, "older");
  if (c.setup == kHardLink) files().Find(logFile)->links = 2;
  if (c.setup == kFileOfAnother) files().SetOwner(logFile, kOtherUser);
  if (c.setup == kOplocked) files().Find(logFile)->oplocked = true;
  // What the file holds when the install starts the companion, late in its run.
  std::string whileRunning;
  machine().processes().RegisterProgram(kTrayPath, [&](DWORD processId) {
    whileRunning = files().Contents(taken ? RecordedFolder() + u"\\vexaWriter-setup.log" : logFile);
    machine().processes().End(processId, 0);
  });

  std::string entries;
  for (const auto& [arguments, exitCode] : c.runs) {
    SYSTEMTIME now;  // the header gives the time the run opened its log
    GetLocalTime(&now);
    char stamp[64];
    snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    whileRunning.clear();
    uint64_t start = machine().ElapsedMilliseconds();
    Outcome outcome = RunLogged(arguments);
    std::string mode = arguments == "un"        ? "uninstall"
                       : arguments == "INSTALL" ? "install"
                                                : arguments;
    EXPECT_LE(machine().ElapsedMilliseconds() - start, wait_bounds::ForMode(mode)) << arguments;
    EXPECT_TRUE(machine().mutexes().OwnedBy(winsim::Processes::kProgramProcessId).empty());
    EXPECT_EQ(outcome.exitCode, exitCode) << arguments;
    EXPECT_EQ(outcome.log.find("Error"), std::string::npos) << arguments;
    if (outcome.log == "(no window)") continue;  // a query mode
    std::string entry = "==== " + std::string(stamp) + " " + arguments +
                        " - vexaWriter build 2609 ====\r\n" + outcome.log + "Exit code " +
                        std::to_string(exitCode) + "\r\n";
    entries += entry;
    if (c.written && arguments == "install") {  // its lines are on disk as they come
      size_t header = whileRunning.rfind("==== " + std::string(stamp));
      std::string written = whileRunning.substr(std::min(header, whileRunning.size()));
      EXPECT_EQ(entry.compare(0, written.size(), written), 0) << written;
      EXPECT_NE(written.find("#Add Printer Driver x64"), std::string::npos) << written;
      EXPECT_EQ(written.find("Exit code"), std::string::npos) << written;
    }
  }

  if (c.channel != kNoChannel) {  // the caller's copy, byte for byte, or the lines that fitted
    std::string captured = files().Contents(u"C:\\channel");
    bool unread = c.channel == kUnreadPipe;
    EXPECT_EQ(captured,
              c.channel == kFailingHandle ? "" : entries.substr(0, unread ? captured.size() : -1));
    if (unread) EXPECT_TRUE(captured.size() <= 700 && captured.find("\r\n") != std::string::npos);
    CloseHandle(output);
  }
  if (taken) {  // made by the first run, found again by the next, out of others' reach
    folder = RecordedFolder();
    EXPECT_EQ(folder.substr(0, kProgramFolder.size() + 1), kProgramFolder + u"-");
    EXPECT_EQ(folder.size(), kProgramFolder.size() + 33);
    EXPECT_TRUE(files().Find(folder) && files().Find(folder)->accessProtected);
    EXPECT_EQ(files().Contents(folder + u"\\vexaWriter-setup.log"), entries);
    entries.clear();
  }
  bool renamed = c.written && c.earlierBytes > kMiB;
  std::string log = c.written ? (renamed ? "" : earlier) + entries : earlier;
  EXPECT_EQ(files().Contents(logFile), log);
  EXPECT_EQ(files().Contents(oldLogFile), renamed ? earlier : c.earlierBytes ? "older" : "");
  EXPECT_EQ(machine().CallCount("SetFileInformationByHandle"), renamed ? 1u : 0u);  // by handle
  EXPECT_EQ(files().FilesBelow(kElsewhere), std::vector<WideText>{kElsewhere + u"\\target.txt"});
  EXPECT_EQ(files().Contents(kElsewhere + u"\\target.txt"), "planted");
  std::vector<WideText> logs;  // and no log anywhere else
  if (taken) logs.push_back(folder + u"\\vexaWriter-setup.log");
  if (c.earlierBytes != 0 || (c.written && !entries.empty())) logs.push_back(logFile);
  if (c.earlierBytes != 0) logs.push_back(oldLogFile);
  std::sort(logs.begin(), logs.end());
  EXPECT_EQ(LogFiles(), logs);
  if (c.setup == kSystemNoTemp2) {  // made for the system account and Administrators alone
    const winsim::FileSystem::Node* made = files().Find(kProgramFolder);
    EXPECT_EQ(made->owner, winsim::kSystemSid);
    EXPECT_TRUE(made->accessProtected);
    const BYTE inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    EXPECT_EQ(made->access, (std::vector<winsim::AccessEntry>{
                                {winsim::kSystemSid, FILE_ALL_ACCESS, inherit, 0},
                                {winsim::kAdministratorsSid, FILE_ALL_ACCESS, inherit, 0}}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, LogFileTest,
    ::testing::Values(
        LogFileCase{"new file", kWritable, 0, {{"INSTALL", 1}, {"un", 2}}, true},
        LogFileCase{"1 MiB: appended", kWritable, kMiB, {{"in_notray", 1}}, true},
        LogFileCase{"over 1 MiB: renamed", kWritable, kMiB + 1, {{"install", 1}, {"un", 2}}, true},
        LogFileCase{"queries",
                    kWritable,
                    0,
                    {{"onChkDrv", 3}, {"onInit", 102}, {"def.set", 4}, {"removetray", 6}},
                    true},
        LogFileCase{"read-only folder", kReadOnly, kMiB + 1, {{"install", 1}, {"un", 2}}, false},
        LogFileCase{"hard link", kHardLink, kMiB + 1, {{"install", 1}}, false},
        LogFileCase{"missing folder", kMissing, 0, {{"install", 1}}, false},
        LogFileCase{"folder others may write", kOthersWrite, kMiB + 1, {{"install", 1}}, false},
        LogFileCase{"folder a link", kFolderLink, 0, {{"install", 1}}, false},
        LogFileCase{"link on the way", kParentLink, 0, {{"install", 1}}, false},
        LogFileCase{"file a symbolic link", kFileLink, 0, {{"install", 1}}, false},
        LogFileCase{"file of another account", kFileOfAnother, 10, {{"install", 1}}, false},
        LogFileCase{"system temporary folder", kSystemTemp, kMiB + 1, {{"install", 1}}, true},
        LogFileCase{
            "system, own folder made", kSystemNoTemp2, 0, {{"install", 1}, {"un", 2}}, true},
        LogFileCase{"system, own folder there", kProgramFolderOk, kMiB + 1, {{"install", 1}}, true},
        LogFileCase{
            "own folder of another", kProgramFolderOfAnother, 0, {{"install", 1}, {"un", 2}}, true},
        LogFileCase{"own folder others may write", kProgramFolderOpen, 0, {{"install", 1}}, true},
        LogFileCase{"oplocked: not waited for", kOplocked, 10, {{"install", 1}}, false},
        LogFileCase{
            "captured", kWritable, kMiB + 1, {{"install", 1}, {"un", 2}}, true, kCapturedFile},
        LogFileCase{"captured, no log file", kReadOnly, 0, {{"install", 1}}, false, kCapturedFile},
        LogFileCase{
            "captured by an unread pipe", kWritable, 0, {{"install", 1}}, true, kUnreadPipe},
        LogFileCase{"failing standard output", kWritable, 0, {{"un", 2}}, true, kFailingHandle},
        LogFileCase{"folder in other letter case", kOtherCase, 10, {{"install", 1}}, true},
        LogFileCase{"Users inherit only", kInheritOnlyUsers, 0, {{"install", 1}}, true},
        LogFileCase{"another may change access", kWriteDacOfAnother, 0, {{"install", 1}}, false},
        LogFileCase{"another may take it", kWriteOwnerOfAnother, 0, {{"install", 1}}, false}));

}  // namespace
