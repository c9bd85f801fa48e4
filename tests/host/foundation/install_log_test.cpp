#include "foundation/install_log.h"

#include "foundation/install_state.h"
#include "test_support.h"

namespace {

class InstallLogTest : public MachineTest {
 protected:
  std::string Log() { return Utf8(state.logText.Text()); }
  InstallState state;
};

TEST_F(InstallLogTest, IndentsTwoSpacesPerLevelUpToTen) {
  struct Case {
    int indent;
    const char* line;
  } cases[] = {{0, "x\r\n"}, {3, "      x\r\n"}, {12, "                    x\r\n"}, {-1, "x\r\n"}};
  for (const Case& c : cases) {
    state.logText.Release();
    state.indent = c.indent;
    LogLine(state, L"x");
    EXPECT_EQ(Log(), c.line) << c.indent;
  }
}

TEST_F(InstallLogTest, EmptyAndNullTextsStillMakeALine) {
  state.indent = 2;
  LogLine(state, L"");
  AppendIndented(state, nullptr);
  EXPECT_EQ(Log(), "    \r\n    \r\n");
}

TEST_F(InstallLogTest, LogLineFormatsWideTextAndNumbers) {
  LogLine(state, L"%d. %s", 3, L"vexaWriter:");
  EXPECT_EQ(Log(), "3. vexaWriter:\r\n");
  EXPECT_EQ(state.errorCount, 0);
}

TEST_F(InstallLogTest, ReportErrorAppendsTheSystemTextOfTheLastError) {
  struct Case {
    DWORD lastError;
    const char* suffix;
  } cases[] = {
      {ERROR_ACCESS_DENIED, " - (Access is denied.)"},
      {0, ""},
      {0x20001234, " - ( No Description )"},
      {static_cast<DWORD>(E_OUTOFMEMORY),
       " - (Not enough memory resources are available to complete this operation.)"},
  };
  int expectedCount = 0;
  for (const Case& c : cases) {
    state.logText.Release();
    state.indent = 1;
    SetLastError(c.lastError);
    ReportError(state, 7, L"Can`t retrieve system directory.");
    EXPECT_EQ(Log(),
              std::string("  Error(7): Can`t retrieve system directory.") + c.suffix + "\r\n");
    EXPECT_EQ(state.errorCount, ++expectedCount);
  }
}

TEST_F(InstallLogTest, ReportErrorReadsTheLastErrorAfterFormatting) {
  SetLastError(ERROR_SERVICE_NOT_ACTIVE);
  ReportError(state, 5, L"ControlService failed with code %d (0x%x)", 1062, 1062u);
  EXPECT_EQ(Log(),
            "Error(5): ControlService failed with code 1062 (0x426) - (The service has not been "
            "started.)\r\n");
}

TEST_F(InstallLogTest, OnlyReportErrorCountsErrors) {
  LogLine(state, L"Error(1): looks like an error");
  EXPECT_EQ(state.errorCount, 0);
  SetLastError(0);
  ReportError(state, 1, L"Can't open service manager.");
  ReportError(state, 1, L"Can't open service manager.");
  EXPECT_EQ(state.errorCount, 2);
}

TEST_F(InstallLogTest, OverlongErrorLinesAreCutWithinTheLineBuffer) {
  WString longName;
  longName.Resize(2000);
  for (uint64_t i = 0; i < 2000; ++i) longName.Data()[i] = L'n';
  SetLastError(ERROR_ACCESS_DENIED);
  ReportError(state, 16, L"Can`t open printer '%s'", longName.Text());
  EXPECT_EQ(state.logText.Length(), 1023u + 2u);
  EXPECT_EQ(state.errorCount, 1);
}

TEST_F(InstallLogTest, SystemErrorTextTrimsLineEndsAndFreesItsText) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  {
    SystemErrorText text;
    EXPECT_EQ(text.error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Utf8(text.text()), "The system cannot find the file specified.");
    EXPECT_EQ(machine().OutstandingLocalBlocks(), 1u);
  }
  EXPECT_EQ(machine().OutstandingLocalBlocks(), 0u);
  SetLastError(0x20000001);
  SystemErrorText none;
  EXPECT_EQ(none.text(), nullptr);
}

}  // namespace
