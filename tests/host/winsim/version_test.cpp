// Version resources of simulated files keep the platform's VS_VERSIONINFO layout.
#include <string.h>

#include <vector>

#include "test_support.h"
#include "winsim/files.h"

namespace {

const WCHAR kPath[] = L"C:\\d\\x.dll";

class SimVersionTest : public MachineTest {
 protected:
  SimVersionTest() {
    machine().files().AddFile(winsim::FromPtr(kPath), "MZ");
    machine().files().SetProductVersion(winsim::FromPtr(kPath), {1, 2, 3, 2609});
  }

  std::vector<BYTE> Resource() {
    DWORD handle = 7;
    DWORD size = GetFileVersionInfoSizeW(kPath, &handle);
    EXPECT_EQ(handle, 0u);
    std::vector<BYTE> block(size, 0xCD);
    EXPECT_TRUE(GetFileVersionInfoW(kPath, 0, size, block.data()));
    return block;
  }
};

TEST_F(SimVersionTest, RootBlockHoldsTheFixedFileInfo) {
  std::vector<BYTE> block = Resource();
  WORD length, valueLength, type;
  memcpy(&length, &block[0], 2);
  memcpy(&valueLength, &block[2], 2);
  memcpy(&type, &block[4], 2);
  EXPECT_EQ(block.size(), length * 2u + 4u) << "twice the resource and a signature";
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&block[length]), 4), "FE2X");
  EXPECT_EQ(valueLength, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(type, 0);
  EXPECT_EQ(Utf8(reinterpret_cast<const WCHAR*>(&block[6])), "VS_VERSION_INFO");

  void* value = nullptr;
  UINT bytes = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &bytes));
  EXPECT_EQ(bytes, sizeof(VS_FIXEDFILEINFO));
  // Key of 16 units after the 6-byte header, padded to 40: the value starts there.
  EXPECT_EQ(static_cast<BYTE*>(value) - block.data(), 40);
  auto* fixed = static_cast<VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010002u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00030A31u);
}

TEST_F(SimVersionTest, ChildBlocksAreFoundByPathIgnoringCase) {
  std::vector<BYTE> block = Resource();
  void* value = nullptr;
  UINT units = 0;
  ASSERT_TRUE(
      VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductVersion", &value, &units));
  EXPECT_EQ(Utf8(static_cast<const WCHAR*>(value)), "1.2.3.2609");
  EXPECT_EQ(units, 11u) << "text values count characters with the terminator";
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &units));
  EXPECT_EQ(units, 4u);
  EXPECT_EQ(*static_cast<DWORD*>(value), 0x04B00409u);
  EXPECT_FALSE(
      VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\Comments", &value, &units));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST_F(SimVersionTest, FilesWithoutAResourceAndMissingFilesHaveNoSize) {
  machine().files().AddFile(u"C:\\d\\plain.chm", "ITSF");
  struct Case {
    const WCHAR* path;
    DWORD error;
  } cases[] = {{L"C:\\d\\plain.chm", ERROR_RESOURCE_TYPE_NOT_FOUND},
               {L"C:\\d\\absent.dll", ERROR_FILE_NOT_FOUND},
               {L"C:\\nodir\\absent.dll", ERROR_PATH_NOT_FOUND},
               {L"C:\\d", ERROR_ACCESS_DENIED}};
  for (const Case& c : cases) {
    DWORD handle = 7;
    EXPECT_EQ(GetFileVersionInfoSizeW(c.path, &handle), 0u) << Utf8(c.path);
    EXPECT_EQ(GetLastError(), c.error) << Utf8(c.path);
    BYTE buffer[16];
    EXPECT_FALSE(GetFileVersionInfoW(c.path, 0, sizeof(buffer), buffer));
  }
}

TEST_F(SimVersionTest, AShortBufferGetsTheStartOfTheResource) {
  BYTE buffer[8];
  memset(buffer, 0xCD, sizeof(buffer));
  EXPECT_TRUE(GetFileVersionInfoW(kPath, 0, 6, buffer));
  EXPECT_EQ(buffer[6], 0xCD) << "nothing past the given length";
  EXPECT_FALSE(GetFileVersionInfoW(kPath, 0, 6, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

}  // namespace
