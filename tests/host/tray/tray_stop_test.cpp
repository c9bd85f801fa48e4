#include <optional>

#include "tray/tray.h"
#include "tray_fixture.h"

namespace {

using OnQuit = winsim::TrayCompanion::OnQuit;

winsim::TrayCompanion Companion(OnQuit onQuit, DWORD quitDelayMs, bool showsWindow = true) {
  return winsim::TrayCompanion{onQuit, quitDelayMs, showsWindow};
}

struct StopCase {
  const char* name;
  std::optional<winsim::TrayCompanion> running;  // at kTrayFile; otherwise the file just lies there
  const char* runValue;                          // null: no value
  const char* keep;
  unsigned lockedAttempts;  // the first deletions fail with access denied
  uint64_t elapsedMs;
  unsigned sleeps;
  size_t requests;
  unsigned deleteAttempts;
  bool fileLeft;
  bool companionRunsOn;
};

void PrintTo(const StopCase& c, std::ostream* os) {
  *os << c.name;
}

class StopTrayTest : public TrayTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopTrayTest, WaitsAsLongAsTheCompanionNeedsThenRemovesFileAndValue) {
  const StopCase& c = GetParam();
  files().AddFile(Widen(kTrayFile), "MZ");
  DWORD companion = c.running ? c.running->RunAt(machine(), Widen(kTrayFile)) : 0;
  if (c.runValue != nullptr) SetRunValue(c.runValue);
  for (unsigned n = 1; n <= c.lockedAttempts; ++n) {
    machine().FailCall("DeleteFileW", n, ERROR_ACCESS_DENIED);
  }

  StopTray(c.keep != nullptr ? winsim::Ptr(Widen(c.keep)) : nullptr);

  EXPECT_EQ(machine().ElapsedMilliseconds(), c.elapsedMs);
  EXPECT_EQ(machine().SleepCount(), c.sleeps);
  ASSERT_EQ(desktop().posted.size(), c.requests);
  for (const winsim::PostedMessage& request : desktop().posted) {
    EXPECT_EQ(request.message, static_cast<UINT>(WM_USER + 2));
  }
  EXPECT_EQ(machine().CallCount("DeleteFileW"), c.deleteAttempts);
  EXPECT_EQ(files().Exists(Widen(kTrayFile)), c.fileLeft);
  EXPECT_EQ(RunValue(), nullptr);
  EXPECT_EQ(processes().IsRunning(companion), c.companionRunsOn);
  EXPECT_EQ(CompanionMutexExists(), c.companionRunsOn) << "the installer's handle is closed";
}

const char kGoneFile[] = "C:\\Apps\\Printer\\old.exe";
const char kGoneDirectory[] = "C:\\Gone\\vextray.exe";
const char kSameFileOtherCase[] = "c:\\apps\\PRINTER\\VEXTRAY.EXE";
const char kOtherFile[] = "C:\\Apps\\vextray.exe";
const char kQuotedTrayFile[] = "\"C:\\Apps\\Printer\\vextray.exe\"";
const auto kQuits = Companion(OnQuit::ReleaseAndEnd, 0);

INSTANTIATE_TEST_SUITE_P(
    Companions, StopTrayTest,
    ::testing::Values(
        StopCase{"NotRunning", std::nullopt, kTrayFile, nullptr, 0, 0, 0, 0, 1, false, false},
        StopCase{"NotRunningNoValue", std::nullopt, nullptr, nullptr, 0, 1000, 1, 0, 0, true,
                 false},
        StopCase{"QuitsWithinTheWait", Companion(OnQuit::ReleaseAndEnd, 1200), kTrayFile, nullptr,
                 0, 1200, 0, 1, 1, false, false},
        StopCase{"QuitsJustAfterTheFirstWait", Companion(OnQuit::ReleaseAndEnd, 5001), kTrayFile,
                 nullptr, 0, 5001, 0, 2, 1, false, false},
        // Still running, it holds its file: ten attempts 100 ms apart.
        StopCase{"NoWindow", Companion(OnQuit::Ignore, 0, false), kTrayFile, nullptr, 0,
                 20 * 250 + 900, 29, 0, 10, true, true},
        StopCase{"ClosesItsWindowOnly", Companion(OnQuit::CloseWindowOnly, 0), kTrayFile, nullptr,
                 0, 5000 + 5000 + 900, 9, 1, 10, true, true},
        StopCase{"NeverQuits", Companion(OnQuit::Ignore, 0), kTrayFile, nullptr, 0,
                 20 * 5000 + 5000 + 900, 9, 20, 10, true, true},
        StopCase{"EndsOwningTheMutex", Companion(OnQuit::EndWithoutRelease, 300), kTrayFile,
                 nullptr, 0, 300, 0, 1, 1, false, false},
        StopCase{"FileAlreadyGone", std::nullopt, kGoneFile, nullptr, 0, 0, 0, 0, 1, true, false},
        StopCase{"DirectoryGone", std::nullopt, kGoneDirectory, nullptr, 0, 90, 9, 0, 10, true,
                 false},
        StopCase{"LockedTwice", std::nullopt, kTrayFile, nullptr, 2, 200, 2, 0, 3, false, false},
        StopCase{"KeepsTheFileRegisteredAgain", kQuits, kTrayFile, kSameFileOtherCase, 0, 0, 0, 1,
                 0, true, false},
        StopCase{"KeepsOnlyThatFile", kQuits, kTrayFile, kOtherFile, 0, 0, 0, 1, 1, false, false},
        StopCase{"Quoted", kQuits, kQuotedTrayFile, nullptr, 0, 0, 0, 1, 1, false, false},
        StopCase{"QuotedKeepsTheFileRegisteredAgain", kQuits, kQuotedTrayFile, kSameFileOtherCase,
                 0, 0, 0, 1, 0, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrayTest, ARunValueFillingTheWholeReadIsEndedBeforeUse) {
  // 264 units without a terminator: exactly the 528 bytes the read takes.
  winsim::WideText path = Widen("C:\\" + std::string(249, 'd') + "\\vextray.exe");
  ASSERT_EQ(path.size(), 264u);
  const BYTE* bytes = reinterpret_cast<const BYTE*>(path.data());
  registry().SetValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, REG_SZ,
                      std::vector<BYTE>(bytes, bytes + 528));
  files().AddFile(path);

  StopTray();

  EXPECT_FALSE(files().Exists(path));
  EXPECT_EQ(RunValue(), nullptr);

  // 530 bytes, the path with its terminator or one unit more: read as none, nothing deleted.
  files().AddFile(path);
  for (const winsim::WideText& value : {path + u'\0', path + u'x'}) {
    bytes = reinterpret_cast<const BYTE*>(value.data());
    registry().SetValue(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, REG_SZ,
                        std::vector<BYTE>(bytes, bytes + 530));
    uint64_t before = machine().ElapsedMilliseconds();
    StopTray();
    EXPECT_EQ(machine().ElapsedMilliseconds() - before, 1000u) << "read as none: nothing deleted";
  }
}

}  // namespace
