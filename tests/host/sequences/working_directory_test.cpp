// A setup starts the installer with a current directory of its own choosing: the installer
// finds its payload and registers the companion through its module path, never through a
// relative name, so install and uninstall end the same from any working directory.
#include "sequence_fixture.h"

namespace {

using WorkingDirectoryTest = SequenceTest;

TEST_F(WorkingDirectoryTest, InstallAndUninstallDoNotDependOnTheCurrentDirectory) {
  // A relative lookup would miss the payload in each of these, or find the wrong files.
  files().AddFile(u"C:\\Windows\\system32\\zqvdrv64.dll", "not ours");
  files().AddFile(u"C:\\Users\\Public\\zqvmon64.dll", "not ours");
  files().AddFile(u"C:\\vextray.exe", "not ours");
  for (const char16_t* directory : {u"C:\\Windows\\system32", u"C:\\Users\\Public", u"C:\\"}) {
    SCOPED_TRACE(Utf8(directory));
    machine().processes().currentDirectory = directory;
    if (!files().IsFile(kTrayPath)) winsim::TrayCompanion().InstallAt(machine(), kTrayPath);

    EXPECT_EQ(Run("install"), 1);
    EXPECT_EQ(Printers(), std::vector<std::string>{"vexaWriter on vexaWriter:"});
    EXPECT_TRUE(OurMonitorRegistered());
    EXPECT_TRUE(OurDriverRegistered());
    EXPECT_EQ(files().Contents(kSystemMonitorDll),
              files().Contents(WideText(kPackageDir) + u"zqvmon64.dll"));
    EXPECT_EQ(files().Contents(u"C:\\windows\\system32\\spool\\drivers\\x64\\3\\zqvdrv64.dll"),
              files().Contents(WideText(kPackageDir) + u"zqvdrv64.dll"));
    EXPECT_EQ(RunValue(), "\"" + Utf8(kTrayPath) + "\"");
    ASSERT_FALSE(machine().processes().launches.empty());
    EXPECT_EQ(Utf8(machine().processes().launches.back().imagePath), Utf8(kTrayPath));

    EXPECT_EQ(Run("uninstall"), 2);
    EXPECT_TRUE(Printers().empty());
    EXPECT_FALSE(OurMonitorRegistered());
    EXPECT_FALSE(OurDriverRegistered());
    EXPECT_EQ(RunValue(), "(none)");
    EXPECT_FALSE(files().IsFile(kTrayPath));  // the companion's own file, not a namesake
  }
}

}  // namespace
