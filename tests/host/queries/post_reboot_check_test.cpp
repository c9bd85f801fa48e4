#include "queries/post_reboot_check.h"

#include <functional>
#include <vector>

#include "files/pending_rename_value.h"
#include "test_support.h"
#include "winsim/files.h"
#include "winsim/services.h"

using namespace pending_rename_value;

namespace {

class PostRebootCheckTest : public MachineTest {
 protected:
  winsim::FileSystem& files() { return machine().files(); }
  winsim::Service& spooler() { return machine().services().Spooler(); }
};

const char16_t kSystem[] = u"C:\\Windows\\System32\\";
const char16_t kDrivers[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\";

winsim::WideText InSystem(const char16_t* name) {
  return winsim::WideText(kSystem) + name;
}
winsim::WideText InDrivers(const char16_t* name) {
  return winsim::WideText(kDrivers) + name;
}
winsim::WideText Pending(const winsim::WideText& path) {
  return u"\\??\\" + path;
}

TEST_F(PostRebootCheckTest, FindsOurFilesStillPendingAfterRestartingTheSpooler) {
  struct Case {
    const char* name;
    std::function<void(winsim::FileSystem&)> stage;
    bool expected;
    unsigned restarts;
  } cases[] = {
      {"no value", [](winsim::FileSystem&) {}, false, 0},
      {"a free driver DLL is deleted at once",
       [](winsim::FileSystem& files) {
         files.AddFile(InDrivers(u"zqvdrv64.dll"));
         SetStrings({Pending(InDrivers(u"zqvdrv64.dll")), u""});
       },
       false, 0},
      {"the restart frees the UI DLL the spooler held",
       [](winsim::FileSystem& files) {
         files.AddFile(InDrivers(u"zqvui64.dll"));
         files.Hold(InDrivers(u"zqvui64.dll"), "spooler");
         SetStrings({Pending(InDrivers(u"zqvui64.dll")), u""});
       },
       false, 1},
      {"a file held by another process stays pending",
       [](winsim::FileSystem& files) {
         files.AddFile(InDrivers(u"zqvui64.dll"));
         files.Hold(InDrivers(u"zqvui64.dll"), "process");
         SetStrings({Pending(InDrivers(u"zqvui64.dll")), u""});
       },
       true, 2},
      {"a pending rename of our monitor DLL counts",
       [](winsim::FileSystem& files) {
         files.AddFile(InSystem(u"zqvmon64.dll"));
         SetStrings({Pending(InSystem(u"zqvmon64.dll")), Pending(InSystem(u"zqvmon64.old"))});
       },
       true, 2},
      {"a directory with our name does not count",
       [](winsim::FileSystem& files) {
         files.AddDirectory(InSystem(u"zqvdrv64.dll"));
         SetStrings({Pending(InSystem(u"zqvdrv64.dll")), u""});
       },
       false, 0},
      {"a source that no longer exists does not count",
       [](winsim::FileSystem&) {
         SetStrings({Pending(InSystem(u"zqvmon64.dll")), u""});
       },
       false, 0},
      {"capitals, any directory",
       [](winsim::FileSystem& files) {
         files.AddFile(u"D:\\Elsewhere\\ZQVDRV64.DLL");
         files.Hold(u"D:\\Elsewhere\\ZQVDRV64.DLL");
         SetStrings({u"\\??\\D:\\Elsewhere\\ZQVDRV64.DLL", u""});
       },
       true, 2},
      {"the name after a slash",
       [](winsim::FileSystem& files) {
         files.AddFile(u"C:/d/zqvmon64.dll");
         files.Hold(u"C:/d/zqvmon64.dll");
         SetStrings({u"C:/d/zqvmon64.dll", u""});
       },
       true, 2},
      {"the name after a colon",
       [](winsim::FileSystem& files) {
         files.AddFile(u"C:zqvui64.dll");
         files.Hold(u"C:zqvui64.dll");
         SetStrings({u"C:zqvui64.dll", u""});
       },
       true, 2},
      {"in the last of five pairs",
       [](winsim::FileSystem& files) {
         for (const char16_t* name : {u"a.dll", u"b.dll", u"c.dll", u"d.dll", u"zqvmon64.dll"}) {
           files.AddFile(InSystem(name));
         }
         SetStrings({Pending(InSystem(u"a.dll")), Pending(InSystem(u"a2.dll")),
                     Pending(InSystem(u"b.dll")), Pending(InSystem(u"b2.dll")),
                     Pending(InSystem(u"c.dll")), Pending(InSystem(u"c2.dll")),
                     Pending(InSystem(u"d.dll")), Pending(InSystem(u"d2.dll")),
                     Pending(InSystem(u"zqvmon64.dll")), Pending(InSystem(u"new.dll"))});
       },
       true, 2},
      {"names that are not quite ours",
       [](winsim::FileSystem& files) {
         std::vector<winsim::WideText> strings;
         for (const char16_t* name : {u"zqvhelp.chm", u"zqvmon32.dll", u"zqvdrv64.dll.bak",
                                      u"xzqvui64.dll", u"zqvui64.dl"}) {
           files.AddFile(InSystem(name));
           strings.push_back(Pending(InSystem(name)));
           strings.push_back(Pending(InSystem(u"elsewhere.dll")));
         }
         SetStrings(strings);
       },
       false, 0},
      {"a new path with our name does not count",
       [](winsim::FileSystem& files) {
         files.AddFile(InSystem(u"other.dll"));
         files.AddFile(InSystem(u"zqvmon64.dll"));
         SetStrings({Pending(InSystem(u"other.dll")), Pending(InSystem(u"zqvmon64.dll"))});
       },
       false, 0},
  };
  for (const Case& c : cases) {
    c.stage(files());
    unsigned stops = spooler().stopsAccepted;
    unsigned starts = spooler().startsAccepted;
    EXPECT_EQ(PostRebootCheck(), c.expected) << c.name;
    EXPECT_EQ(spooler().stopsAccepted - stops, c.restarts) << c.name;
    EXPECT_EQ(spooler().startsAccepted - starts, c.restarts) << c.name;
    EXPECT_TRUE(machine().services().IsRunning(u"spooler")) << c.name;
    EXPECT_EQ(machine().OutstandingGlobalBlocks(), 0u) << c.name;
    EXPECT_EQ(machine().OpenHandleCount(), 0u) << c.name;
    machine().registry().DeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, kName);
    files().ReleaseHoldsOf("process");
  }
}

TEST_F(PostRebootCheckTest, ReadsTheValueAgainInTheSecondPass) {
  files().AddFile(InSystem(u"zqvmon64.dll"));
  files().Hold(InSystem(u"zqvmon64.dll"));
  SetStrings({Pending(InSystem(u"zqvmon64.dll")), u""});
  // Between the passes another program clears the value: the second pass finds nothing.
  machine().FailCall("RegOpenKeyExA", 2, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(PostRebootCheck());
  EXPECT_EQ(spooler().stopsAccepted, 1u);
  EXPECT_EQ(machine().CallCount("RegOpenKeyExA"), 2u);
}

TEST_F(PostRebootCheckTest, ASpoolerThatCannotBeControlledIsPassedOverSilently) {
  files().AddFile(InSystem(u"zqvmon64.dll"));
  files().Hold(InSystem(u"zqvmon64.dll"), "spooler");
  SetStrings({Pending(InSystem(u"zqvmon64.dll")), u""});
  machine().FailCallsFrom("OpenSCManagerW", 1, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(PostRebootCheck());
  EXPECT_EQ(machine().CallCount("OpenSCManagerW"), 2u);
  EXPECT_EQ(spooler().stopsAccepted, 0u);
  EXPECT_TRUE(files().Exists(InSystem(u"zqvmon64.dll")));
}

}  // namespace
