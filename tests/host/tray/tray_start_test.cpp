#include "foundation/install_state.h"
#include "tray/tray.h"
#include "tray_fixture.h"

namespace {

class StartTrayTest : public TrayTest {
 protected:
  StartTrayTest() { state.installTray = 1; }

  void InstallerIn(const std::string& moduleDir) {
    state.moduleDir.Assign(winsim::Ptr(Widen(moduleDir)));
    processes().modulePath = Widen(moduleDir + "zqvinst64.exe");
  }

  InstallState state;
};

struct PathCase {
  const char* name;
  std::string moduleDir;
  std::string registered;  // also where the companion lies, beside the installer when bare
  std::string commandLine;
  bool started;
};

void PrintTo(const PathCase& c, std::ostream* os) {
  *os << c.name;
}

class StartTrayPathTest : public StartTrayTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(StartTrayPathTest, RegistersThePathQuotedAndStartsItQuotedAndShown) {
  const PathCase& c = GetParam();
  InstallerIn(c.moduleDir);
  bool bare = c.registered.find('\\') == std::string::npos;
  winsim::TrayCompanion{}.InstallAt(machine(), Widen((bare ? c.moduleDir : "") + c.registered));

  StartTray(state);

  const winsim::Registry::Value* value = RunValue();
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value->data.size(), (c.registered.size() + 3) * 2) << "with its terminator";
  EXPECT_EQ(Utf8(reinterpret_cast<const WCHAR*>(value->data.data())), '"' + c.registered + '"');
  ASSERT_EQ(processes().launches.size(), 1u);
  const winsim::Processes::Launch& launch = processes().launches[0];
  EXPECT_EQ(Utf8(launch.commandLine), c.commandLine);
  EXPECT_EQ(launch.creationFlags, static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
  EXPECT_EQ(launch.startupFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
  EXPECT_EQ(launch.showWindow, SW_SHOW);
  EXPECT_EQ(processes().IsRunning(launch.processId), c.started);
  EXPECT_EQ(machine().ElapsedMilliseconds(), 0u) << "nothing waits for the companion";
}

const std::string kDeepDirectory = "C:\\" + std::string(270, 'p');

INSTANTIATE_TEST_SUITE_P(
    Directories, StartTrayPathTest,
    ::testing::Values(
        PathCase{"TwoLevels", "C:\\Apps\\Printer\\drv\\", "C:\\Apps\\Printer\\vextray.exe",
                 "\"C:\\Apps\\Printer\\vextray.exe\"", true},
        PathCase{"OneLevel", "C:\\drv\\", "C:\\vextray.exe", "\"C:\\vextray.exe\"", true},
        PathCase{"DriveRoot", "C:\\", "vextray.exe", "\"vextray.exe\"", true},
        PathCase{"Blanks", "C:\\Program Files\\vexa Writer\\drv\\",
                 "C:\\Program Files\\vexa Writer\\vextray.exe",
                 "\"C:\\Program Files\\vexa Writer\\vextray.exe\"", true},
        // The command line takes 259 characters of the path: that program is not there.
        PathCase{"LongerThanTheCommandTakes", kDeepDirectory + "\\drv\\",
                 kDeepDirectory + "\\vextray.exe", "\"" + kDeepDirectory.substr(0, 259) + "\"",
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartTrayTest, DoesNothingWithoutTheTrayOptionTheInstallerDirectoryOrBeforeNt6) {
  InstallerIn("C:\\Apps\\Printer\\drv\\");
  winsim::TrayCompanion{}.InstallAt(machine(), Widen(kTrayFile));
  state.installTray = 0;
  StartTray(state);
  EXPECT_EQ(machine().CallCount("GetVersionExA"), 0u);

  state.installTray = 1;
  processes().osVersion.major = 5;
  StartTray(state);
  processes().osVersion = {6, 1, 7601, VER_PLATFORM_WIN32_WINDOWS, ""};
  StartTray(state);
  // A bare name would start whatever companion lies in the current directory.
  processes().osVersion = {6, 1, 7601, VER_PLATFORM_WIN32_NT, ""};
  state.moduleDir.Release();
  StartTray(state);

  EXPECT_EQ(machine().CallCount("RegOpenKeyExA"), 0u);
  EXPECT_TRUE(processes().launches.empty());
}

}  // namespace
