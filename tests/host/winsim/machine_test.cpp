#include "winsim/machine.h"

#include "test_support.h"
#include "winsim/files.h"
#include "winsim/mutexes.h"
#include "winsim/registry.h"

namespace {

TEST(MachineAccountingTest, ReportsALeakedGlobalBlock) {
  winsim::Machine machine;
  void* block = GlobalAlloc(GPTR, 16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(machine.OutstandingGlobalBlocks(), 1u);
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(machine.OutstandingGlobalBlocks(), 0u);
  EXPECT_EQ(GlobalFree(block), block) << "a second free is refused";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

class WinsimCoreTest : public MachineTest {};

TEST_F(WinsimCoreTest, FaultInjectionFailsExactlyTheNthCall) {
  machine().FailCall("GlobalAlloc", 2, ERROR_NOT_ENOUGH_MEMORY);
  void* first = GlobalAlloc(GPTR, 8);
  void* second = GlobalAlloc(GPTR, 8);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  void* third = GlobalAlloc(GPTR, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  EXPECT_EQ(machine().CallCount("GlobalAlloc"), 3u);
  GlobalFree(first);
  GlobalFree(third);
}

TEST_F(WinsimCoreTest, FaultsFromTheNthCallOnKeepFailing) {
  machine().FailCallsFrom("LocalAlloc", 2, ERROR_OUTOFMEMORY);
  void* first = LocalAlloc(LPTR, 4);
  EXPECT_EQ(LocalAlloc(LPTR, 4), nullptr);
  EXPECT_EQ(LocalAlloc(LPTR, 4), nullptr);
  LocalFree(first);
}

TEST_F(WinsimCoreTest, ClockAdvancesOnlyBySleeping) {
  DWORD start = GetTickCount();
  EXPECT_EQ(GetTickCount(), start);
  Sleep(200);
  Sleep(50);
  EXPECT_EQ(GetTickCount() - start, 250u);
  EXPECT_EQ(machine().SleepCount(), 2u);
  machine().SetTickCount(0xFFFFFFF0u);
  Sleep(0x20);
  EXPECT_EQ(GetTickCount(), 0x10u) << "the tick count wraps";
}

TEST_F(WinsimCoreTest, AProgramEndedByForceLetsGoOfWhatItHeldAndChangesNothingAfter) {
  machine().files().AddFile(u"C:\\f.txt", "data");
  HANDLE file = CreateFileW(L"C:\\f.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  CreateMutexA(nullptr, TRUE, "m");
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  machine().EndProgramAtCall(2);
  void* block = GlobalAlloc(GPTR, 4);
  EXPECT_EQ(RegSetValueExW(key, L"v", 0, REG_SZ, nullptr, 0), 1067) << "the call it dies in";
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
  EXPECT_FALSE(machine().mutexes().Exists("m")) << "abandoned with its last handle";
  DWORD start = GetTickCount();
  Sleep(500);
  EXPECT_EQ(GetTickCount(), start);
  EXPECT_EQ(CreateMutexA(nullptr, FALSE, "m"), nullptr);
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GlobalFree(block), nullptr) << "its own memory still works";
  machine().StartProgramAgain();
  HANDLE reopened = CreateFileW(L"C:\\f.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(reopened, INVALID_HANDLE_VALUE) << "the file was let go";
  CloseHandle(reopened);
  EXPECT_EQ(machine().registry().GetValue(HKEY_CURRENT_USER, u"k", u"v"), nullptr);
}

TEST_F(WinsimCoreTest, SuccessLeavesAPoisonedLastError) {
  SetLastError(0);
  void* block = GlobalAlloc(GPTR, 4);
  EXPECT_EQ(GetLastError(), winsim::kPoisonedLastError);
  GlobalFree(block);
}

TEST_F(WinsimCoreTest, ZeroInitIsHonouredAndFixedBlocksAreNotZeroed) {
  auto* zeroed = static_cast<unsigned char*>(GlobalAlloc(GPTR, 4));
  auto* raw = static_cast<unsigned char*>(GlobalAlloc(GMEM_FIXED, 4));
  EXPECT_EQ(zeroed[3], 0);
  EXPECT_NE(raw[3], 0) << "code that forgets to zero a fixed block is caught";
  GlobalFree(zeroed);
  GlobalFree(raw);
}

TEST_F(WinsimCoreTest, FormatMessageAllocatesWithLocalAllocAndKnowsNoUnknownCode) {
  WCHAR* text = nullptr;
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  DWORD length = FormatMessageW(flags, nullptr, ERROR_SHARING_VIOLATION, 0x409,
                                reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  EXPECT_EQ(Utf8(text),
            "The process cannot access the file because it is being used by another process.\r\n");
  EXPECT_EQ(length, static_cast<DWORD>(lstrlenW(text)));
  LocalFree(text);
  text = nullptr;
  EXPECT_EQ(FormatMessageW(flags, nullptr, 0x20000042, 0x409, reinterpret_cast<LPWSTR>(&text), 0,
                           nullptr),
            0u);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

TEST_F(WinsimCoreTest, MultiByteToWideCharSizesAndConvertsWindows1252) {
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\x93hi\x94", -1, nullptr, 0), 5);
  WCHAR out[5];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\x93hi\x94", -1, out, 5), 5);
  EXPECT_EQ(out[0], 0x201C);
  EXPECT_EQ(out[3], 0x201D);
  EXPECT_EQ(out[4], 0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "abc", -1, out, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(WinsimCoreTest, LstrFunctions) {
  WCHAR buffer[8];
  lstrcpynW(buffer, L"abcdefghij", 8);
  EXPECT_EQ(Utf8(buffer), "abcdefg");
  EXPECT_EQ(lstrlenW(buffer), 7);
  EXPECT_EQ(lstrcmpiW(L"InStall", L"install"), 0);
  EXPECT_NE(lstrcmpW(L"InStall", L"install"), 0);
}

}  // namespace
