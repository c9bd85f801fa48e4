#include "safe_start.h"

#include "test_support.h"
#include "winsim/processes.h"

namespace {

class SafeStartTest : public MachineTest {};

TEST_F(SafeStartTest, TheSearchIsRestrictedBeforeAnyDllIsLoaded) {
  const std::vector<winsim::WideText> preloads = {u"C:\\Windows\\system32\\winspool.drv",
                                                  u"C:\\Windows\\system32\\version.dll"};
  struct Case {
    const char* system;
    bool hasSetDefault;
    bool setDefaultFails;
    DWORD defaultDirectories;
    std::vector<winsim::WideText> loads;
  } cases[] = {
      {"current", true, false, LOAD_LIBRARY_SEARCH_SYSTEM32, {}},
      {"without SetDefaultDllDirectories", false, false, 0, preloads},
      {"SetDefaultDllDirectories refuses", true, true, 0, preloads},
  };
  for (const Case& c : cases) {
    winsim::Processes& processes = machine().processes();
    processes = winsim::Processes();
    processes.hasSetDefaultDllDirectories = c.hasSetDefault;
    if (c.setDefaultFails) {
      machine().FailCall("SetDefaultDllDirectories",
                         machine().CallCount("SetDefaultDllDirectories") + 1, ERROR_ACCESS_DENIED);
    }
    {
      RestrictedDllSearch search = RestrictDllSearch();
      EXPECT_EQ(processes.defaultDllDirectories, c.defaultDirectories) << c.system;
      // Without the restricted search, the current directory leaves it and the delay-loaded
      // DLLs are held from the system directory for the program's whole run.
      bool fallback = !c.loads.empty();
      EXPECT_EQ(processes.dllDirectorySet, fallback) << c.system;
      EXPECT_TRUE(processes.dllDirectory.empty()) << c.system;
      EXPECT_EQ(processes.libraryLoads, c.loads) << c.system;
      EXPECT_EQ(machine().OpenHandleCount(), c.loads.size()) << c.system;
    }
    EXPECT_EQ(machine().OpenHandleCount(), 0u) << c.system;
  }
}

}  // namespace
