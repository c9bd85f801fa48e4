#include "command_line.h"

#include <limits.h>

#include "test_support.h"

namespace {

class CommandLineTest : public MachineTest {};

TEST_F(CommandLineTest, KeywordsFoldOnlyAsciiLettersAndDefSetIsExact) {
  struct Case {
    const char* keyword;
    RunMode mode;
  } cases[] = {
      {"in", RunMode::Install},
      {"INSTALL", RunMode::Install},
      {"ServerInstall", RunMode::Install},
      {"In_NoTray", RunMode::InstallWithoutTray},
      {"Un", RunMode::Uninstall},
      {"uninstall", RunMode::Uninstall},
      {"REMOVETRAY", RunMode::RemoveTray},
      {"onchkdrv", RunMode::QueryDriverBuild},
      {"ONINIT", RunMode::PostRebootCheck},
      {"def.set", RunMode::MakeOurPrinterDefault},
      {"DEF.SET", RunMode::None},
      {"Def.set", RunMode::None},
      {"def.set ", RunMode::None},
      {"install ", RunMode::None},
      {"instal", RunMode::None},
      {"", RunMode::None},
      {"\xC4\xB0N", RunMode::None},      // capital I with dot: not an ASCII letter
      {"\xEF\xBD\x89n", RunMode::None},  // fullwidth i
      {"un\xC2\xA0", RunMode::None},     // trailing no-break space
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ModeFromKeyword(winsim::Ptr(Widen(c.keyword))), c.mode) << c.keyword;
  }
}

TEST_F(CommandLineTest, DecimalNumbersSkipBlanksTakeASignAndClamp) {
  struct Case {
    const char* text;
    LONG value;
  } cases[] = {
      {"123", 123},
      {"  -42x", -42},
      {"+7", 7},
      {"\t\r\n 5", 5},
      {"12ab", 12},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"99999999999999999999999", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-99999999999", INT_MIN},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseDecimal(winsim::Ptr(Widen(c.text))), c.value) << c.text;
}

}  // namespace
