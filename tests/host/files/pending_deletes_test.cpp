#include "files/pending_deletes.h"

#include <vector>

#include "foundation/install_state.h"
#include "test_support.h"
#include "winsim/files.h"
#include "winsim/registry.h"

namespace {

class PendingDeletesTest : public MachineTest {
 protected:
  std::vector<std::string> Listed() {
    std::vector<std::string> paths;
    for (PendingDeleteNode* node = state.pendingDeletes; node != nullptr; node = node->next) {
      paths.push_back(Utf8(node->path));
    }
    return paths;
  }
  void Add(const char* path) { AddPendingDelete(state.pendingDeletes, winsim::Ptr(Widen(path))); }
  void File(const char* path) { machine().files().AddFile(Widen(path)); }

  InstallState state;
};

using Paths = std::vector<std::string>;

TEST_F(PendingDeletesTest, AddsAtTheHeadOnceByExactPath) {
  Add("C:\\a.dll");
  Add("C:\\b.dll");
  Add("C:\\a.dll");
  Add("C:\\A.dll");
  EXPECT_EQ(Listed(), (Paths{"C:\\A.dll", "C:\\b.dll", "C:\\a.dll"}));
}

TEST_F(PendingDeletesTest, AllocationFailureLeavesTheListAsItWas) {
  Add("C:\\a.dll");
  machine().FailCall("GlobalAlloc", 4, ERROR_NOT_ENOUGH_MEMORY);  // the second node
  Add("C:\\b.dll");
  EXPECT_EQ(Listed(), (Paths{"C:\\a.dll"}));
}

TEST_F(PendingDeletesTest, RetryRemovesDeletedAndVanishedFilesAndKeepsTheOrderOfTheRest) {
  struct Case {
    const char* name;
    std::vector<const char*> held;  // of C:\1 .. C:\4, listed head first as 4, 3, 2, 1
    Paths left;
  } cases[] = {
      {"head", {"C:\\3", "C:\\2", "C:\\1"}, {"C:\\3", "C:\\2", "C:\\1"}},
      {"middle", {"C:\\4", "C:\\3", "C:\\1"}, {"C:\\4", "C:\\3", "C:\\1"}},
      {"tail", {"C:\\4", "C:\\3", "C:\\2"}, {"C:\\4", "C:\\3", "C:\\2"}},
      {"all held", {"C:\\4", "C:\\3", "C:\\2", "C:\\1"}, {"C:\\4", "C:\\3", "C:\\2", "C:\\1"}},
      {"none held", {}, {}},
  };
  for (const Case& c : cases) {
    FreePendingDeletes(state.pendingDeletes);
    state.logText.Release();
    for (const char* path : {"C:\\1", "C:\\2", "C:\\3", "C:\\4"}) {
      File(path);
      Add(path);
    }
    for (const char* path : c.held) machine().files().Hold(Widen(path));
    RetryPendingDeletes(state);
    EXPECT_EQ(Listed(), c.left) << c.name;
    EXPECT_EQ(Utf8(state.logText.Text()), "DeleteFile-try\r\n") << c.name;
    EXPECT_EQ(state.errorCount, 0);
    machine().files().ReleaseHoldsOf("process");
  }
}

TEST_F(PendingDeletesTest, RetryTreatsAMissingFileAsDoneButKeepsAMissingDirectory) {
  Add("C:\\gone\\dir\\x.dll");  // the directory is gone: the path stays
  Add("C:\\missing.dll");       // the file is gone: done
  File("C:\\locked.dll");
  machine().files().Hold(Widen("C:\\locked.dll"), "process", ERROR_ACCESS_DENIED);
  Add("C:\\locked.dll");
  RetryPendingDeletes(state);
  EXPECT_EQ(Listed(), (Paths{"C:\\locked.dll", "C:\\gone\\dir\\x.dll"}));
}

TEST_F(PendingDeletesTest, ScheduleCountsAcceptedMovesAndAlwaysEmptiesTheList) {
  EXPECT_EQ(ScheduleDeletesAtReboot(state), 0u);
  Add("C:\\gone\\x.dll");
  Add("C:\\b.dll");
  Add("C:\\c.dll");
  machine().FailCall("MoveFileExW", 2, ERROR_ACCESS_DENIED);
  EXPECT_EQ(ScheduleDeletesAtReboot(state), 2u);
  EXPECT_EQ(state.pendingDeletes, nullptr);
  const auto* value = machine().registry().GetValue(
      HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
      u"PendingFileRenameOperations");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->type, static_cast<DWORD>(REG_MULTI_SZ));
  std::u16string expected = u"\\??\\C:\\c.dll";
  expected.push_back(0);
  expected.push_back(0);
  expected += u"\\??\\C:\\gone\\x.dll";
  expected.push_back(0);
  expected.push_back(0);
  expected.push_back(0);
  std::u16string stored(reinterpret_cast<const char16_t*>(value->data.data()),
                        value->data.size() / 2);
  EXPECT_EQ(Utf8(stored), Utf8(expected));
}

}  // namespace
