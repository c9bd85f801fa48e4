// Every mode on several machine states, once as is and once per platform call the run makes
// with that one call failing as it fails on a real system.
#include <stdio.h>

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "sequence_fixture.h"
#include "wait_bounds.h"
#include "winsim/namespaces.h"

namespace {

// The error a real failure of each call gives; 0 for calls that do not fail when given a valid
// handle or argument (closing, freeing, ending a dialog, sleeping, reading the clock or the
// command line).
const std::map<std::string, DWORD> kCallErrors = [] {
  const std::pair<DWORD, std::vector<const char*>> groups[] = {
      {RPC_S_SERVER_UNAVAILABLE,
       {"AddMonitorW", "AddPrinterDriverExW", "AddPrinterW", "DeleteMonitorW", "DeletePrinter",
        "DeletePrinterDriverExW", "EnumMonitorsW", "EnumPrinterDriversW", "EnumPrintersW",
        "GetPrinterDataA", "GetPrinterDataExA", "GetPrinterDriverDirectoryW", "GetPrinterDriverW",
        "GetPrinterW", "OpenPrinterW", "SetDefaultPrinterW", "SetPrinterDataA", "SetPrinterDataExA",
        "SetPrinterW"}},
      {0,
       {"CloseHandle", "ClosePrinter", "ClosePrivateNamespace", "CloseServiceHandle",
        "DeleteBoundaryDescriptor", "EndDialog", "RoUninitialize", "WindowsDeleteString",
        "EqualSid", "FreeLibrary", "GetCommandLineW", "GetLocalTime", "GetTickCount", "GlobalFree",
        "IsWellKnownSid", "LocalFree", "RegCloseKey", "Sleep"}},
      {ERROR_NOT_ENOUGH_MEMORY,
       {"CommandLineToArgvW", "GlobalAlloc", "LocalAlloc", "SetDlgItemTextW", "SetWindowTextW",
        "CreateBoundaryDescriptorW", "AddSIDToBoundaryDescriptor", "RoInitialize",
        "WindowsCreateString"}},
      {ERROR_ACCESS_DENIED,
       {"ControlService",
        "IsWow64Process2",
        "RoGetActivationFactory",
        "get_IsProtectedPrintEnabled",
        "CreateDirectoryW",
        "CreateMutexA",
        "CreateMutexW",
        "CreatePrivateNamespaceW",
        "DeleteFileW",
        "FindWindowW",
        "GetAsyncKeyState",
        "GetFileInformationByHandle",
        "GetProcessWindowStation",
        "GetSecurityInfo",
        "GetUserObjectInformationW",
        "MoveFileExW",
        "OpenPrivateNamespaceW",
        "OpenProcessToken",
        "OpenSCManagerW",
        "OpenServiceW",
        "PostMessageW",
        "QueryServiceStatus",
        "RegCreateKeyExW",
        "RegDeleteValueA",
        "RegDeleteTreeW",
        "RegDeleteValueW",
        "RegEnumKeyExW",
        "RegFlushKey",
        "RegOpenKeyExA",
        "RegOpenKeyExW",
        "RegQueryInfoKeyW",
        "RegSetValueExA",
        "RegSetValueExW",
        "SetFileInformationByHandle",
        "StartServiceW"}},
      {ERROR_SHARING_VIOLATION, {"CreateFileW", "ReOpenFile"}},
      {ERROR_FILE_NOT_FOUND,
       {"CreateProcessW", "GetDefaultPrinterW", "GetFileAttributesW", "GetLongPathNameW",
        "RegQueryValueExA", "RegQueryValueExW"}},
      {ERROR_ENVVAR_NOT_FOUND, {"GetEnvironmentVariableW"}},
      {ERROR_RESOURCE_NAME_NOT_FOUND, {"DialogBoxParamW"}},
      {ERROR_MR_MID_NOT_FOUND, {"FormatMessageW"}},
      {ERROR_RESOURCE_TYPE_NOT_FOUND,
       {"GetFileVersionInfoSizeW", "GetFileVersionInfoW", "VerQueryValueW"}},
      {ERROR_INSUFFICIENT_BUFFER,
       {"CreateWellKnownSid", "GetFinalPathNameByHandleW", "GetModuleFileNameW",
        "GetSystemDirectoryW", "GetTempPath2W", "GetTempPathW", "GetTokenInformation",
        "GetVersionExA", "MultiByteToWideChar", "WideCharToMultiByte"}},
      {ERROR_PROC_NOT_FOUND, {"GetProcAddress"}},
      {ERROR_INVALID_WINDOW_HANDLE, {"IsWindow", "SendDlgItemMessageW"}},
      {ERROR_MOD_NOT_FOUND, {"LoadLibraryExW", "GetModuleHandleW"}},
      {ERROR_READ_FAULT, {"ReadFile"}},
      {ERROR_NOT_OWNER, {"ReleaseMutex"}},
      {ERROR_INVALID_PARAMETER,
       {"ConvertStringSecurityDescriptorToSecurityDescriptorW", "GetAce", "BCryptGenRandom",
        "SetDefaultDllDirectories"}},
      {ERROR_INVALID_HANDLE,
       {"WaitForSingleObject", "GetStdHandle", "GetFileType", "SetNamedPipeHandleState"}},
      {ERROR_DISK_FULL, {"WriteFile"}},
      // Sessions and tokens: the companion's start and stop as another user.
      {0,
       {"WTSFreeMemory", "DestroyEnvironmentBlock", "GetCurrentProcessId", "GetSidSubAuthority",
        "GetSidSubAuthorityCount"}},
      {ERROR_NOT_ENOUGH_MEMORY, {"CreateEnvironmentBlock"}},
      {ERROR_ACCESS_DENIED, {"WTSEnumerateSessionsW", "OpenProcess", "CreateProcessWithTokenW"}},
      {ERROR_PRIVILEGE_NOT_HELD, {"CreateProcessAsUserW"}},
      {ERROR_NO_TOKEN, {"WTSQueryUserToken"}},
      {ERROR_INVALID_WINDOW_HANDLE, {"GetShellWindow", "GetWindowThreadProcessId"}},
      {ERROR_FILE_NOT_FOUND, {"OpenMutexW"}},
      {ERROR_INVALID_HANDLE, {"GetExitCodeProcess"}},
  };
  std::map<std::string, DWORD> errors;
  for (const auto& [error, functions] : groups) {
    for (const char* function : functions) errors[function] = error;
  }
  return errors;
}();

// Calls the run tries again after a failure: one failure ends the run as a run without a fault.
const std::set<std::string> kRetriedCalls = {"AddMonitorW", "DeleteFileW", "DeleteMonitorW",
                                             "DeletePrinterDriverExW", "QueryServiceStatus"};

// Each mode's keyword and the exit codes it may answer with.
const std::map<std::string, std::set<int>> kModes = {{"install", {1, 100, 101}},
                                                     {"in_notray", {1, 100, 101}},
                                                     {"uninstall", {2, 100, 101}},
                                                     {"removetray", {6, 100}},
                                                     {"onChkDrv", {103, 3}},
                                                     {"onInit", {200, 102, 3}},
                                                     {"def.set", {4}},
                                                     {"", {6}}};

class FaultSweepTest : public SequenceTest {
 protected:
  struct MachineState {
    const char* name;
    void (FaultSweepTest::*stage)();
  };

 public:  // the states are named by member pointers in the test body
  void Clean() {}
  void Installed() { Run("in_notray"); }
  void WithPrinters() {
    Run("in_notray");
    winsim::SpoolerPrinter& a = spooler().AddPrinter(u"A", u"vexaWriter printer", u"vexaWriter:");
    a.comment = u"first floor";
    winsim::Spooler::SetStringData(a, "PrinterDriverData", "SubKey", "keyA");
    spooler().AddDriver(u"Generic / Text Only");
    spooler().AddPrinter(u"Both", u"Generic / Text Only", u"LPT1:,vexaWriter:");
    spooler().defaultPrinter = u"A";
  }
  void FilesHeld() {
    Run("in_notray");
    files().Hold(kSystemMonitorDll, "spooler", ERROR_ACCESS_DENIED);
    for (const WideText& file : files().FilesBelow(u"C:\\windows\\system32\\spool\\drivers")) {
      files().Hold(file, "spooler");
    }
  }
  void CompanionRuns() { Run("install"); }
  // Printers of ours with settings, A the default, and the record of a third that an
  // unfinished reinstall took out.
  void OursWithSettings() {
    Run("install");
    spooler().printers.clear();
    for (const auto& [name, key] : kOurs) {
      winsim::SpoolerPrinter& printer =
          spooler().AddPrinter(Widen(name), u"vexaWriter printer", u"vexaWriter:");
      winsim::Spooler::SetStringData(printer, "PrinterDriverData", "SubKey", key);
      printer.comment = Widen("comment " + name);
      printer.location = Widen("room " + name);
    }
    spooler().defaultPrinter = u"A";
    machine().registry().SetString(HKEY_LOCAL_MACHINE, kRecordsKey + u"\\C", u"SubKey", u"keyC");
    machine().registry().SetString(HKEY_LOCAL_MACHINE, kRecordsKey + u"\\C", u"Comment", u"room C");
  }
  // Windows 11 24H2 and later: the protected print mode's runtime class answers "off".
  void ProtectedPrintOff() {
    Run("in_notray");
    machine().processes().hasProtectedPrintInfo = true;
  }
  // The system account, whose log folder another account made first, run by a caller that
  // captures its standard output through a pipe it does not read.
  void CapturedAndFolderTaken() {
    Run("in_notray");
    machine().processes().token = winsim::Token::SystemAccount();
    files().AddDirectory(u"C:\\ProgramData\\vexaWriter-logs");
    files().SetOwner(u"C:\\ProgramData\\vexaWriter-logs", winsim::kStandardUserSid);
    files().AddFile(u"C:\\pipe");
    files().Find(u"C:\\pipe")->pipeBuffer = 4096;
    machine().processes().standardOutput =
        CreateFileW(L"C:\\pipe", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    stagedHandles_ = 1;
  }
  // The system account, as under fleet tools, with a user's companion in the console session
  // and another user's in a remote one.
  void SystemWithUsers() {
    Run("install");
    AsSystemWithUsers();
  }
  void AsSystemWithUsers() {
    machine().processes().LogOn(2, WTSActive, winsim::Token::StandardUser());
    winsim::TrayCompanion().RunAs(machine(), kTrayPath,
                                  *machine().processes().FindSession(2)->user);
    machine().processes().token = winsim::Token::SystemAccount();
  }
  // An administrator elevated on a standard user's desktop, whose companion runs.
  void OverTheShoulder() {
    machine().processes().LogOn(1, WTSActive, winsim::Token::StandardUser());
    winsim::TrayCompanion().RunAs(machine(), kTrayPath,
                                  *machine().processes().FindSession(1)->user);
    machine().processes().token =
        winsim::Token::SplitAdministrator("S-1-5-21-1004336348-1177238915-682003330-500");
  }
  // As on Wine 8.0: the run lock under its Global\ name.
  void NoPrivateNamespaces() {
    Run("in_notray");
    machine().namespaces().present = false;
  }

 protected:
  // Balanced indentation: a line is at most two levels deeper than the line before it, and
  // each heading opens at the depth of its step in the sequence, the one depth the runs
  // without a fault show it at. A step that returns without undoing its indentation, or undoes
  // it twice, moves every heading after it. "#Restart Spooler" opens wherever a step needs it.
  std::string IndentationProblem(const std::string& mode, const std::string& log, bool reference) {
    size_t previous = 0;
    for (size_t at = 0; at < log.size();) {
      size_t end = log.find("\r\n", at);
      std::string line = log.substr(at, end - at);
      at = end + 2;
      size_t spaces = line.find_first_not_of(' ');
      if (line.empty()) continue;  // a system text's own line end
      if (spaces == std::string::npos || spaces % 2 != 0) return "odd indentation: " + line;
      size_t depth = spaces / 2;
      if (depth > previous + 2) return "too deep: " + line;
      previous = depth;
      if (line[spaces] != '#' || line.find("#Restart Spooler") != std::string::npos) continue;
      std::string heading = line.substr(spaces, line.find('(') - spaces);
      std::set<size_t>& depths = headingDepths_[mode][heading];
      if (reference) {
        depths.insert(depth);
      } else if (depths.size() == 1 && *depths.begin() != depth) {
        return "heading out of place: " + line;
      }
    }
    return "";
  }

  // Our printers, each with whether it carries a settings key: those are the printers an
  // install takes out and puts back.
  std::map<std::string, bool> PrintersOfOurs() {
    std::map<std::string, bool> printers;
    for (const auto& printer : spooler().printers) {
      if (printer->deleted || printer->driver != u"vexaWriter printer") continue;
      auto key = printer->data.find("printerdriverdata");
      printers[Utf8(printer->name)] = key != printer->data.end() && key->second.count("subkey");
    }
    return printers;
  }

  // A sequence that answers success left what it promised: an install our monitor, driver and
  // a printer, and every printer of ours with settings it found; an uninstall none of ours.
  std::string SuccessProblem(const std::string& mode, int exitCode,
                             const std::map<std::string, bool>& before) {
    std::map<std::string, bool> after = PrintersOfOurs();
    bool ours = !after.empty();
    if ((mode == "install" || mode == "in_notray") && (exitCode == 1 || exitCode == 101)) {
      if (!(OurMonitorRegistered() && OurDriverRegistered() && ours)) {
        return "success without monitor, driver or printer";
      }
      for (const auto& [name, settings] : before) {
        if (settings && after.count(name) == 0) return "success without printer " + name;
      }
    }
    if (mode == "uninstall" && (exitCode == 2 || exitCode == 101) &&
        (OurMonitorRegistered() || OurDriverRegistered() || ours)) {
      return "success with monitor, driver or printer left";
    }
    return "";
  }

  // Without its arguments the program knows no mode to run; a later split is a session stop's.
  bool AnswersAsTheModeMay(const std::string& mode, const std::string& fn, unsigned nth,
                           int exitCode) {
    if (fn == "CommandLineToArgvW" && nth == 1) return exitCode == 6;
    return kModes.at(mode).count(exitCode) != 0;
  }

  // Runs the mode on a fresh machine in the state, with the nth of the run's calls of the
  // function failing, or that call and every later one (none without a function); returns what
  // is wrong with the run.
  std::string SweepRun(const std::string& mode, const MachineState& state, const std::string& fn,
                       unsigned nth, bool forGood,
                       std::map<std::string, unsigned>* calls = nullptr) {
    StartOver();
    stagedHandles_ = 0;
    files().AddDirectory(u"C:\\Users\\admin\\AppData\\Local\\Temp");  // for the log file
    (this->*state.stage)();
    std::map<std::string, unsigned> before = machine().CallCounts();
    if (!fn.empty()) {
      if (forGood) {
        machine().FailCallsFrom(fn, before[fn] + nth, kCallErrors.at(fn));
      } else {
        machine().FailCall(fn, before[fn] + nth, kCallErrors.at(fn));
      }
    }
    uint64_t start = machine().ElapsedMilliseconds();
    std::map<std::string, bool> printersBefore = PrintersOfOurs();
    const WideText logFile = u"C:\\Users\\admin\\AppData\\Local\\Temp\\vexaWriter-setup.log";
    size_t logBefore = files().Contents(logFile).size();
    Outcome outcome = RunLogged(mode);
    ++runs_;
    int& cleanExitCode = cleanExitCodes_[{mode, state.name}];
    if (fn.empty()) cleanExitCode = outcome.exitCode;
    if (calls != nullptr) {
      for (const auto& [name, count] : machine().CallCounts()) {
        if (count > before[name]) (*calls)[name] = count - before[name];
      }
    }
    std::string problem;
    // A window without its text (SetDlgItemTextW failed) shows no log to check.
    bool logShown = outcome.log != "(no window)" && !outcome.log.empty();
    bool errorLine = outcome.log.find("Error(") != std::string::npos;
    // After its header, the file's entry is the log up to where a write failed, without a hole.
    std::string file = files().Contents(logFile).substr(logBefore);
    file.erase(0, std::min(file.find("====\r\n") + 6, file.size()));
    std::string entry = outcome.log + "Exit code " + std::to_string(outcome.exitCode) + "\r\n";
    if (machine().OutstandingGlobalBlocks() + machine().OutstandingLocalBlocks() != 0) {
      problem = "blocks left";
    } else if (machine().OpenHandleCount() != stagedHandles_) {
      problem = "handles left: " + machine().DescribeOpenHandles();
    } else if (!machine().mutexes().OwnedBy(winsim::Processes::kProgramProcessId).empty()) {
      problem = "a mutex is still owned: " +
                machine().mutexes().OwnedBy(winsim::Processes::kProgramProcessId)[0];
    } else if (machine().ElapsedMilliseconds() - start > wait_bounds::ForMode(mode)) {
      problem = "waited " + std::to_string(machine().ElapsedMilliseconds() - start) + " ms";
    } else if (!AnswersAsTheModeMay(mode, fn, nth, outcome.exitCode) ||
               (logShown && (outcome.exitCode == 100) != errorLine)) {
      problem = "exit code " + std::to_string(outcome.exitCode) + " against the log";
    } else if (!forGood && kRetriedCalls.count(fn) != 0 && outcome.exitCode != cleanExitCode) {
      problem = "exit code " + std::to_string(outcome.exitCode) + " after a failure retried past";
    } else if (outcome.log.find("Error(20)") != std::string::npos) {
      problem = "an install refused on a Windows that can run it";
    } else if (logShown && entry.compare(0, file.size(), file) != 0) {
      problem = "the log file's entry is no prefix of the log:\n" + file;
    } else if (logShown) {
      problem = IndentationProblem(mode, outcome.log, fn.empty());
    }
    if (problem.empty()) problem = SuccessProblem(mode, outcome.exitCode, printersBefore);
    if (!problem.empty()) {
      ++failures_;
      std::string fault = fn.empty() ? ""
                                     : ", " + fn + " #" + std::to_string(nth) +
                                           (forGood ? " and later" : "") + " failing";
      problem = mode + " on " + state.name + fault + ": " + problem + "\n" + outcome.log;
    }
    return problem;
  }

  // Our monitor, driver and printers with their settings, and whether records are left.
  std::string WhatIsOurs() {
    std::set<std::string> printers;
    for (const auto& printer : spooler().printers) {
      if (printer->deleted || printer->driver != u"vexaWriter printer") continue;
      std::vector<BYTE> key = printer->data["printerdriverdata"]["subkey"].bytes;
      key.push_back(0);
      printers.insert(Utf8(printer->name) + " [" + reinterpret_cast<const char*>(key.data()) +
                      "] " + Utf8(printer->comment) + " / " + Utf8(printer->location) +
                      (spooler().defaultPrinter == printer->name ? " (default), " : ", "));
    }
    std::string text = OurMonitorRegistered() ? "monitor, " : "";
    if (OurDriverRegistered()) text += "driver, ";
    if (files().IsFile(kSystemMonitorDll)) text += "monitor file, ";
    if (RunValue() != "(none)") text += "companion, ";
    for (const std::string& printer : printers) text += printer;
    if (machine().registry().KeyExists(HKEY_LOCAL_MACHINE, kRecordsKey)) text += "records";
    return text;
  }

  // The last two at the limits: the longest settings key and the longest name a record holds.
  static inline const std::vector<std::pair<std::string, std::string>> kOurs = {
      {"A", "keyA"}, {"B", "keyB"}, {"K", std::string(63, 'k')}, {std::string(255, 'L'), "keyL"}};
  static inline const WideText kRecordsKey =
      u"Software\\Morvane Software KFT\\vexaWriter\\SavedPrinters";
  std::map<std::string, std::map<std::string, std::set<size_t>>> headingDepths_;
  std::map<std::pair<std::string, std::string>, int> cleanExitCodes_;  // by mode and state
  unsigned runs_ = 0;
  unsigned failures_ = 0;
  size_t stagedHandles_ = 0;  // the caller's, open through the run
};

TEST_F(FaultSweepTest, EveryFailingCallEndsCleanlyInTimeAndIsToldByTheExitCode) {
  const MachineState states[] = {
      {"a clean machine", &FaultSweepTest::Clean},
      {"an installation", &FaultSweepTest::Installed},
      {"printers with settings", &FaultSweepTest::WithPrinters},
      {"files held by the spooler", &FaultSweepTest::FilesHeld},
      {"a running companion", &FaultSweepTest::CompanionRuns},
      {"no private namespaces", &FaultSweepTest::NoPrivateNamespaces},
      {"captured, log folder taken", &FaultSweepTest::CapturedAndFolderTaken},
      {"protected print off", &FaultSweepTest::ProtectedPrintOff},
      {"the system account", &FaultSweepTest::SystemWithUsers},
      {"over the shoulder", &FaultSweepTest::OverTheShoulder}};
  // The runs without a fault first: they fix where each heading opens.
  std::map<std::pair<std::string, std::string>, std::map<std::string, unsigned>> calls;
  for (const auto& [mode, codes] : kModes) {
    for (const MachineState& state : states) {
      std::string problem = SweepRun(mode, state, "", 0, false, &calls[{mode, state.name}]);
      EXPECT_EQ(problem, "");
    }
  }
  for (const auto& [mode, codes] : kModes) {
    for (const MachineState& state : states) {
      for (const auto& [fn, count] : calls[{mode, state.name}]) {
        auto entry = kCallErrors.find(fn);
        if (entry == kCallErrors.end()) {
          ADD_FAILURE() << "no error known for " << fn;
          continue;
        }
        if (entry->second == 0) continue;
        for (unsigned nth = 1; nth <= count; ++nth) {
          for (bool forGood : {false, true}) {
            std::string problem = SweepRun(mode, state, fn, nth, forGood);
            EXPECT_EQ(problem, "");
          }
        }
      }
    }
  }
  if (stagedHandles_ != 0) CloseHandle(machine().processes().standardOutput);
  printf("fault sweep: %u runs, %u failures\n", runs_, failures_);
  EXPECT_GT(runs_, 1000u);
}

}  // namespace

// A reinstall and an uninstall, each ended by force at every platform call in turn, then run
// again to its end: the reinstall puts back every printer with its settings and the default, the
// uninstall leaves nothing of ours, and neither leaves a record.
TEST_F(FaultSweepTest, ARunEndedAtAnyCallLosesNothingOnceRunAgain) {
  std::string installed = "monitor, driver, monitor file, companion, ";
  for (const auto& [name, key] : kOurs) {
    installed += name + " [" + key + "] comment " + name + " / room " + name +
                 (name == "A" ? " (default), " : ", ") +
                 (name == "B" ? "C [keyC] room C / , " : "");
  }
  // The system account's runs stop and start the users' companions in their sessions.
  const std::tuple<const char*, std::string, bool> rows[] = {
      {"install", installed, false}, {"uninstall", "", false}, {"install", installed, true}};
  unsigned runs = 0;
  unsigned lost = 0;
  for (const auto& [mode, expected, system] : rows) {
    OursWithSettings();
    if (system) AsSystemWithUsers();
    uint64_t first = machine().TotalCalls();
    Run(mode);
    uint64_t calls = machine().TotalCalls() - first;
    for (uint64_t nth = 1; nth <= calls; ++nth) {
      StartOver();
      OursWithSettings();
      if (system) AsSystemWithUsers();
      machine().EndProgramAtCall(nth);
      Run(mode);
      EXPECT_EQ(machine().OpenHandleCount() + machine().OutstandingGlobalBlocks(), 0u) << nth;
      machine().StartProgramAgain();
      int exitCode = Run(mode);
      ++runs;
      std::string left = WhatIsOurs();
      if (left == expected && (exitCode == 1 || exitCode == 2)) continue;
      ++lost;
      ADD_FAILURE() << mode << " ended at call " << nth << ", then exit " << exitCode << ": "
                    << left;
    }
    StartOver();
  }
  printf("kill sweep: %u runs, %u lost\n", runs, lost);
  EXPECT_GT(runs, 200u);
}
