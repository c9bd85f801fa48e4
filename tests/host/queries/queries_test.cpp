#include "queries/queries.h"

#include "spooler/spooler_fixture.h"

namespace {

const char16_t kDriverPath[] = u"C:\\windows\\system32\\spool\\drivers\\x64\\3\\zqvdrv64.dll";

class QueriesTest : public SpoolerStepTest {
 protected:
  QueriesTest() { spooler().AddDriver(u"vexaWriter printer").driverFile = u"zqvdrv64.dll"; }
  // Another driver's printer listed first, then ours in the given order.
  void StagePrinters(const std::vector<const char16_t*>& ours, const char* defaultPrinter) {
    spooler().printers.clear();
    spooler().AddPrinter(u"Laser", u"Generic / Text Only", u"LPT1:");
    for (const char16_t* name : ours) spooler().AddPrinter(name, u"vexaWriter printer", u"x:");
    spooler().defaultPrinter = Widen(defaultPrinter);
  }
};

TEST_F(QueriesTest, TheDriverBuildIsReadFromOurFirstPrintersDriverFile) {
  struct Case {
    const char* what;
    std::vector<const char16_t*> ours;
    int build;            // -1: no version resource
    const char* failing;  // the next call of this function fails
    bool answer;
    unsigned opens;
  } cases[] = {
      {"no printer of ours", {}, 2609, nullptr, false, 0},
      {"build 2604", {u"A"}, 2604, nullptr, false, 1},
      {"build 2605", {u"A"}, 2605, nullptr, true, 1},
      {"no version resource", {u"A"}, -1, nullptr, false, 1},
      {"the driver cannot be read", {u"A"}, 2609, "GetPrinterDriverW", false, 1},
      {"the first of ours cannot be opened", {u"A", u"B"}, 2609, "OpenPrinterW", false, 1},
  };
  for (const Case& c : cases) {
    StagePrinters(c.ours, "");
    files().AddFile(kDriverPath, "MZ");
    if (c.build >= 0) files().SetProductVersion(kDriverPath, {1, 0, 0, WORD(c.build)});
    if (c.failing) machine().FailCall(c.failing, machine().CallCount(c.failing) + 1, 5);
    unsigned opensBefore = machine().CallCount("OpenPrinterW");
    EXPECT_EQ(QueryDriverBuild(), c.answer) << c.what;
    EXPECT_EQ(machine().CallCount("OpenPrinterW") - opensBefore, c.opens) << c.what;
  }
}

TEST_F(QueriesTest, OnlyADefaultPrinterOfOursCountsAsOurs) {
  // "Gone" names no printer, so it cannot be opened.
  for (const char* defaultPrinter : {"", "A", "Laser", "Gone"}) {
    StagePrinters({u"A"}, defaultPrinter);
    EXPECT_EQ(QueryDefaultNotOurs(), std::string(defaultPrinter) != "A") << defaultPrinter;
  }
}

TEST_F(QueriesTest, OurFirstListedPrinterBecomesTheDefault) {
  struct Case {
    std::vector<const char16_t*> ours;
    const char* before;
    const char* after;
  } cases[] = {
      {{u"A", u"B"}, "B", "A"}, {{u"B", u"A"}, "", "B"}, {{}, "Laser", "Laser"}, {{}, "", ""}};
  for (const Case& c : cases) {
    StagePrinters(c.ours, c.before);
    SetOurPrinterDefault();
    EXPECT_EQ(Utf8(spooler().defaultPrinter), c.after) << c.before;
  }
}

}  // namespace
