// The simulated file system and registry behave as the platform documents.
#include "test_support.h"
#include "winsim/files.h"
#include "winsim/processes.h"
#include "winsim/registry.h"

namespace {

class SimFilesTest : public MachineTest {
 protected:
  HANDLE Open(const char16_t* path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(reinterpret_cast<const WCHAR*>(path), access, share, nullptr, disposition, 0,
                       nullptr);
  }
};

TEST_F(SimFilesTest, DeleteFileErrors) {
  auto& files = machine().files();
  files.AddFile(u"C:\\dir\\free.dll", "x");
  files.AddFile(u"C:\\dir\\held.dll");
  files.AddFile(u"C:\\dir\\denied.dll");
  files.Hold(u"C:\\dir\\held.dll");
  files.Hold(u"C:\\dir\\denied.dll", "spooler", ERROR_ACCESS_DENIED);
  struct Case {
    const char16_t* path;
    DWORD error;  // 0: deleted
  } cases[] = {
      {u"c:/DIR/FREE.DLL", 0},
      {u"C:\\dir\\free.dll", ERROR_FILE_NOT_FOUND},
      {u"C:\\nodir\\x.dll", ERROR_PATH_NOT_FOUND},
      {u"C:\\dir", ERROR_ACCESS_DENIED},
      {u"C:\\dir\\held.dll", ERROR_SHARING_VIOLATION},
      {u"C:\\dir\\denied.dll", ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    BOOL deleted = DeleteFileW(reinterpret_cast<const WCHAR*>(c.path));
    EXPECT_EQ(deleted, c.error == 0 ? TRUE : FALSE) << Utf8(c.path);
    if (c.error != 0) {
      EXPECT_EQ(GetLastError(), c.error) << Utf8(c.path);
    }
  }
  files.ReleaseHoldsOf("spooler");
  EXPECT_TRUE(DeleteFileW(L"C:\\dir\\denied.dll"));
  EXPECT_FALSE(DeleteFileW(L"C:\\dir\\held.dll"));
}

// Relative names resolve against the current directory, which SetCurrentDirectoryW changes.
TEST_F(SimFilesTest, RelativePathsFollowTheCurrentDirectory) {
  auto& files = machine().files();
  files.AddFile(u"C:\\work\\sub\\a.dll");
  files.AddFile(u"C:\\work\\b.dll");
  files.AddFile(u"C:\\c.dll");
  struct Case {
    const char16_t* directory;  // made current first
    const char16_t* path;
    bool found;
  } cases[] = {
      {u"C:\\work\\sub", u"a.dll", true},
      {u"C:\\work\\sub", u"b.dll", false},
      {u"C:\\work\\sub\\", u"..\\b.dll", true},
      {u"C:\\", u"c.dll", true},
      {u"C:\\work", u"..\\..\\c.dll", true},
      {u"C:\\work", u"sub/./a.dll", true},
      {u"sub", u"a.dll", true},  // a relative directory, from C:\work
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(SetCurrentDirectoryW(reinterpret_cast<const WCHAR*>(c.directory)))
        << Utf8(c.directory);
    EXPECT_EQ(GetFileAttributesW(reinterpret_cast<const WCHAR*>(c.path)) != INVALID_FILE_ATTRIBUTES,
              c.found)
        << Utf8(c.directory) << " + " << Utf8(c.path);
  }
  WCHAR current[MAX_PATH];
  EXPECT_EQ(GetCurrentDirectoryW(MAX_PATH, current), 11u);
  EXPECT_EQ(Utf8(winsim::FromPtr(current)), "C:\\work\\sub");
  EXPECT_FALSE(SetCurrentDirectoryW(L"C:\\work\\b.dll"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(SetCurrentDirectoryW(L"C:\\none"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SimFilesTest, OpenReadWriteAndSharing) {
  machine().files().AddDirectory(u"C:\\d");
  HANDLE out = Open(u"C:\\d\\f", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(out, "hello", 5, &written, nullptr));
  EXPECT_EQ(written, 5u);
  EXPECT_EQ(Open(u"C:\\d\\f", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(DeleteFileW(L"C:\\d\\f"));
  HANDLE in = Open(u"C:\\d\\f", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  char buffer[8];
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(in, buffer, 8, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "hello");
  EXPECT_TRUE(ReadFile(in, buffer, 8, &read, nullptr));
  EXPECT_EQ(read, 0u);
  CloseHandle(in);
  CloseHandle(out);
  EXPECT_EQ(Open(u"C:\\d\\none", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(u"C:\\x\\none", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(SimFilesTest, HeldFilesCanBeReadButNotReplaced) {
  machine().files().AddFile(u"C:\\w\\mon.dll", "dll");
  machine().files().Hold(u"C:\\w\\mon.dll", "spooler");
  EXPECT_EQ(Open(u"C:\\w\\mon.dll", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  HANDLE in = Open(u"C:\\w\\mon.dll", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(in, INVALID_HANDLE_VALUE);
  CloseHandle(in);
}

TEST_F(SimFilesTest, RegistryValueReadsFollowTheTwoCallPattern) {
  auto& registry = machine().registry();
  registry.SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T", u"Name", u"abc");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\t", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"name", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
  BYTE small[4];
  DWORD smallSize = sizeof(small);
  EXPECT_EQ(RegQueryValueExW(key, L"Name", nullptr, nullptr, small, &smallSize), ERROR_MORE_DATA);
  EXPECT_EQ(smallSize, 8u);
  EXPECT_EQ(RegQueryValueExW(key, L"Other", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExW(key, L"x", 0, REG_SZ, small, 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(key, "Name"), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  registry.DenyAccess(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T", KEY_SET_VALUE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\T", 0, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
}

}  // namespace
