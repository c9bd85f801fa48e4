#include "foundation/wstring.h"

#include "test_support.h"

namespace {

class WStringTest : public MachineTest {};

std::string Text(const WString& s) {
  return Utf8(s.Text());
}

WString Make(const std::string& text) {
  WString s;
  s.Assign(winsim::Ptr(Widen(text)));
  return s;
}

TEST_F(WStringTest, CapacityRoundsLengthPlusTerminatorUpToAPowerOfTwoFromThirtyTwo) {
  struct Case {
    uint64_t length;
    uint64_t capacity;
  } cases[] = {{1, 32}, {31, 32}, {32, 64}, {63, 64}, {64, 128}, {1000000, 1048576}};
  for (const Case& c : cases) EXPECT_EQ(WString::CapacityFor(c.length), c.capacity) << c.length;
}

TEST_F(WStringTest, ReallocatesOnlyWhenCrossingABlockBoundary) {
  WString s;
  WString::HeapCounters before = WString::Counters();
  for (int i = 0; i < 31; ++i) s.Append(L"x");
  EXPECT_EQ(WString::Counters().allocations - before.allocations, 1u);
  EXPECT_EQ(WString::Counters().reallocations - before.reallocations, 0u);
  s.Append(L"x");  // 32 characters need a second block of 32
  EXPECT_EQ(WString::Counters().reallocations - before.reallocations, 1u);
  for (int i = 0; i < 8; ++i) s.Append(L"x");
  const WCHAR* block = s.Text();
  s.Resize(35);  // shrinking within the block keeps it
  EXPECT_EQ(s.Text(), block);
  EXPECT_EQ(WString::Counters().reallocations - before.reallocations, 1u);
  EXPECT_EQ(s.Length(), 35u);
  EXPECT_EQ(s.Text()[35], 0);
}

TEST_F(WStringTest, EmptyStringsHoldNoBlock) {
  WString s;
  EXPECT_NE(s.Text(), nullptr);
  EXPECT_EQ(s.Text()[0], 0);
  EXPECT_EQ(s.Data(), nullptr);
  WString::HeapCounters before = WString::Counters();
  s.Append(L"");
  s.Assign(nullptr);
  s.Assign(L"");
  s.Resize(0);
  s.AppendNarrow("");
  EXPECT_EQ(WString::Counters().allocations, before.allocations);
  EXPECT_EQ(s.Data(), nullptr);

  s.Assign(L"abc");
  s.Resize(0);
  EXPECT_EQ(s.Data(), nullptr);
  EXPECT_EQ(s.Length(), 0u);
  s.Assign(L"abc");
  s.Format(L"%s", L"");
  EXPECT_EQ(s.Data(), nullptr);
}

TEST_F(WStringTest, AppendAndAssignKeepLengthAndTerminator) {
  WString s = Make("C:\\dir");
  s.Append(L"\\file.dll");
  EXPECT_EQ(Text(s), "C:\\dir\\file.dll");
  EXPECT_EQ(s.Length(), 15u);
  s.Assign(L"x");
  EXPECT_EQ(Text(s), "x");
  WString copy = s.Copy();
  EXPECT_EQ(Text(copy), "x");
  EXPECT_NE(copy.Text(), s.Text());
}

TEST_F(WStringTest, FromNarrowConvertsTheAnsiCodePage) {
  EXPECT_EQ(Text(WString::FromNarrow("K\xE9sz")), "K\xC3\xA9sz");    // U+00E9
  EXPECT_EQ(Text(WString::FromNarrow("\x80 5")), "\xE2\x82\xAC 5");  // euro sign
  EXPECT_EQ(WString::FromNarrow("").Length(), 0u);
  WString s = Make("a");
  s.AppendNarrow("\xE9");
  EXPECT_EQ(Text(s), "a\xC3\xA9");
}

TEST_F(WStringTest, FromNarrowYieldsEmptyWhenConversionFails) {
  machine().FailCall("MultiByteToWideChar", 1, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WString::FromNarrow("abc").Length(), 0u);
}

TEST_F(WStringTest, ParentDirectory) {
  struct Case {
    const char* path;
    const char* parent;
  } cases[] = {
      {"", ""},
      {"file.txt", ""},
      {"\\file", ""},
      {"a\\b", "a"},
      {"a/b/c", "a/b"},
      {"a/b\\c/d", "a/b"},
      {"C:\\x\\y\\", "C:\\x\\y"},
      {"C:\\x\\y", "C:\\x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(Make(c.path).ParentDirectory()), c.parent) << c.path;
  }
}

TEST_F(WStringTest, FormatOfAnOverlongResultIsCutAndTerminated) {
  WString longText;
  longText.Resize(9000);
  for (uint64_t i = 0; i < 9000; ++i) longText.Data()[i] = L'a';
  WString s;
  s.Format(L"<%s>", longText.Text());
  EXPECT_EQ(s.Length(), 8191u);
  EXPECT_EQ(s.Text()[0], L'<');
  EXPECT_EQ(s.Text()[8190], L'a');
}

TEST_F(WStringTest, MoveTransfersTheBlock) {
  WString a = Make("moved");
  const WCHAR* block = a.Text();
  WString b = std::move(a);
  EXPECT_EQ(b.Text(), block);
  EXPECT_EQ(a.Length(), 0u);
}

}  // namespace
