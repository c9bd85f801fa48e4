#include "queries/queries.h"

#include "spooler/spooler_fixture.h"

namespace {

using Names = std::vector<std::string>;

const char16_t kDriverPath[] = u"C:\\windows\\system32\\spool\\drivers\\x64\\3\\zqvdrv64.dll";

class QueriesTest : public SpoolerStepTest {
 protected:
  QueriesTest() {
    spooler().AddDriver(u"vexaWriter printer").driverFile = u"zqvdrv64.dll";
    spooler().AddDriver(u"Generic / Text Only");
    spooler().AddMonitor(u"vexaWriter:", u"zqvmon64.dll", {u"vexaWriter:"});
  }
  // Another driver's printer listed first, then ours in the given order.
  void StagePrinters(const Names& ours) {
    spooler().printers.clear();
    spooler().AddPrinter(u"Laser", u"Generic / Text Only", u"LPT1:");
    for (const std::string& name : ours) {
      spooler().AddPrinter(Widen(name), u"vexaWriter printer", u"vexaWriter:");
    }
  }
  // A build of -1 leaves the driver file without a version resource.
  void StageDriverBuild(int build) {
    files().AddFile(kDriverPath, "MZ");
    if (build >= 0) files().SetProductVersion(kDriverPath, {1, 0, 0, static_cast<WORD>(build)});
  }
};

TEST_F(QueriesTest, TheDriverBuildIsThatOfOurFirstPrintersDriverFile) {
  struct Case {
    const char* what;
    Names ours;
    int build;
    const char* failing;  // the next call of this function fails
    bool answer;
    unsigned opens;
  } cases[] = {
      {"no printer of ours", {}, 2609, nullptr, false, 0},
      {"build 2604", {"A"}, 2604, nullptr, false, 1},
      {"build 2605", {"A"}, 2605, nullptr, true, 1},
      {"no version resource", {"A"}, -1, nullptr, false, 1},
      {"the driver cannot be read", {"A"}, 2609, "GetPrinterDriverW", false, 1},
      {"the first of ours cannot be opened", {"A", "B"}, 2609, "OpenPrinterW", false, 1},
  };
  for (const Case& c : cases) {
    StagePrinters(c.ours);
    StageDriverBuild(c.build);
    if (c.failing != nullptr) {
      machine().FailCall(c.failing, machine().CallCount(c.failing) + 1, ERROR_ACCESS_DENIED);
    }
    unsigned opensBefore = machine().CallCount("OpenPrinterW");
    EXPECT_EQ(QueryDriverBuild(), c.answer) << c.what;
    EXPECT_EQ(machine().CallCount("OpenPrinterW") - opensBefore, c.opens) << c.what;
  }
}

TEST_F(QueriesTest, OnlyADefaultPrinterOfOursAnswersNo) {
  struct Case {
    const char* defaultPrinter;
    bool notOurs;
  } cases[] = {
      {"", true},
      {"A", false},
      {"Laser", true},
      {"Gone", true},  // a default that names no printer cannot be opened
  };
  StagePrinters({"A"});
  for (const Case& c : cases) {
    spooler().defaultPrinter = Widen(c.defaultPrinter);
    EXPECT_EQ(QueryDefaultNotOurs(), c.notOurs) << c.defaultPrinter;
  }
}

TEST_F(QueriesTest, OurFirstListedPrinterBecomesTheDefault) {
  struct Case {
    Names ours;
    const char* defaultBefore;
    const char* defaultAfter;
  } cases[] = {
      {{"A", "B"}, "B", "A"},
      {{"B", "A"}, "", "B"},
      {{}, "Laser", "Laser"},
      {{}, "", ""},
  };
  for (const Case& c : cases) {
    StagePrinters(c.ours);
    spooler().defaultPrinter = Widen(c.defaultBefore);
    SetOurPrinterDefault();
    EXPECT_EQ(Utf8(spooler().defaultPrinter), c.defaultAfter) << c.defaultBefore;
  }
}

}  // namespace
