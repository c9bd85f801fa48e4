#include "foundation/bounded_format.h"

#include "test_support.h"

namespace {

std::string Formatted(size_t capacity, const WCHAR* format, ...) {
  WCHAR buffer[64];
  for (WCHAR& unit : buffer) unit = L'#';
  va_list args;
  va_start(args, format);
  size_t length = FormatBounded(buffer, capacity, format, args);
  va_end(args);
  EXPECT_EQ(buffer[length], 0);
  for (size_t i = capacity; i < 64; ++i) EXPECT_EQ(buffer[i], L'#') << "wrote past " << capacity;
  return Utf8(buffer);
}

TEST(BoundedFormatTest, Directives) {
  EXPECT_EQ(Formatted(64, L"%d|%d|%d", 0, -7, 2147483647), "0|-7|2147483647");
  EXPECT_EQ(Formatted(64, L"%d", static_cast<int>(0x80000000u)), "-2147483648");
  EXPECT_EQ(Formatted(64, L"%x %X %u", 0x80004005u, 0xabcu, 4000000000u),
            "80004005 ABC 4000000000");
  EXPECT_EQ(Formatted(64, L"%s=%s", L"key", L"value"), "key=value");
  EXPECT_EQ(Formatted(64, L"[%s]", static_cast<const WCHAR*>(nullptr)), "[]");
  EXPECT_EQ(Formatted(64, L"100%% %q %"), "100% %q %");
}

TEST(BoundedFormatTest, CutsAtTheBufferAndStaysTerminated) {
  EXPECT_EQ(Formatted(5, L"%s", L"abcdefgh"), "abcd");
  EXPECT_EQ(Formatted(4, L"%d", 123456), "123");
  EXPECT_EQ(Formatted(1, L"abc"), "");
}

TEST(BoundedFormatTest, NeverSplitsASurrogatePair) {
  const WCHAR pair[] = {L'a', L'b', 0xD83D, 0xDE00, 0};  // "ab" and one emoji
  EXPECT_EQ(Formatted(4, L"%s", pair), "ab");
  EXPECT_EQ(Formatted(5, L"%s", pair), "ab\xF0\x9F\x98\x80");
}

TEST(BoundedFormatTest, ZeroCapacityWritesNothing) {
  WCHAR unit = L'#';
  EXPECT_EQ(FormatBoundedV(&unit, 0, L"abc"), 0u);
  EXPECT_EQ(unit, L'#');
}

}  // namespace
