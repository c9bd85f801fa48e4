#include <shellapi.h>

#include <vector>

#include "test_support.h"
#include "winsim/processes.h"

namespace {

class CommandLineSplitTest : public MachineTest {
 protected:
  std::vector<std::string> Split(const std::string& line) {
    int count = -1;
    LPWSTR* argv = CommandLineToArgvW(winsim::Ptr(Widen(line)), &count);
    std::vector<std::string> args;
    if (argv == nullptr) return args;
    for (int i = 0; i < count; ++i) args.push_back(Utf8(argv[i]));
    EXPECT_EQ(argv[count], nullptr) << "the array is null-terminated";
    EXPECT_TRUE(machine().OwnsBlock(true, argv)) << "one LocalAlloc block";
    EXPECT_EQ(LocalFree(argv), nullptr);
    return args;
  }
};

using Args = std::vector<std::string>;

TEST_F(CommandLineSplitTest, FollowsThePlatformRulesForQuotesAndBackslashes) {
  struct Case {
    const char* line;
    Args args;
  } cases[] = {
      {R"("C:\my dir\x.exe" in)", {R"(C:\my dir\x.exe)", "in"}},
      {"x.exe   a\tb ", {"x.exe", "a", "b"}},
      {R"(x.exe "a b" c)", {"x.exe", "a b", "c"}},
      {R"(x.exe a\\b c\)", {"x.exe", R"(a\\b)", R"(c\)"}},
      {R"(x.exe a\"b)", {"x.exe", R"(a"b)"}},
      {R"(x.exe a\\\"b)", {"x.exe", R"(a\"b)"}},
      {R"(x.exe a\\\\"b c")", {"x.exe", R"(a\\b c)"}},
      {R"(x.exe "" z)", {"x.exe", "", "z"}},
      // Two quotes inside quotes give a literal quote and end the quoted part.
      {R"(x.exe "a""b c)", {"x.exe", R"(a"b)", "c"}},
      {R"(x.exe "a"""b c")", {"x.exe", R"(a"b c)"}},
      // Argument 0 ends at the next quote whatever precedes it; no escapes apply there.
      {R"("C:\dir\"in 1)", {R"(C:\dir\)", "in", "1"}},
      {R"(C:\a"b c)", {R"(C:\a"b)", "c"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Split(c.line), c.args) << c.line;
}

TEST_F(CommandLineSplitTest, AnEmptyLineGivesTheProgramPath) {
  machine().processes().modulePath = u"C:\\p\\zqvinst64.exe";
  EXPECT_EQ(Split(""), Args{R"(C:\p\zqvinst64.exe)"});
}

TEST_F(CommandLineSplitTest, RefusesAMissingCount) {
  EXPECT_EQ(CommandLineToArgvW(L"x.exe", nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
