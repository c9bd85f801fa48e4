#include "spooler/printer_creation.h"

#include "spooler/printer_removal.h"
#include "spooler/printer_snapshot.h"
#include "spooler_fixture.h"
#include "winsim/registry.h"

namespace {

using winsim::SpoolerPrinter;
using Names = std::vector<std::string>;

constexpr char kSettingsKeys[] = "Software\\Morvane Software KFT\\vexaWriter\\";

std::string Text(const WCHAR* text) {
  return text != nullptr ? "\"" + Utf8(text) + "\"" : "null";
}

// Every member of a description, null texts told apart from empty ones.
std::string Describe(const PRINTER_INFO_2W& info) {
  return "server=" + Text(info.pServerName) + " name=" + Text(info.pPrinterName) +
         " share=" + Text(info.pShareName) + " port=" + Text(info.pPortName) +
         " driver=" + Text(info.pDriverName) + " comment=" + Text(info.pComment) +
         " location=" + Text(info.pLocation) + " sepFile=" + Text(info.pSepFile) +
         " processor=" + Text(info.pPrintProcessor) + " datatype=" + Text(info.pDatatype) +
         " parameters=" + Text(info.pParameters) + " devMode=" + (info.pDevMode ? "set" : "null") +
         " security=" + (info.pSecurityDescriptor ? "set" : "null") + " numbers=" +
         std::to_string(info.Attributes | info.Priority | info.DefaultPriority | info.StartTime |
                        info.UntilTime | info.Status | info.cJobs | info.AveragePPM);
}

class PrinterCreationTest : public SpoolerStepTest {
 protected:
  PrinterCreationTest() {
    spooler().AddDriver(u"vexaWriter printer");
    spooler().AddDriver(u"Generic / Text Only");
    spooler().AddMonitor(u"Local Port", u"localspl.dll", {u"LPT1:"});
    spooler().AddMonitor(u"vexaWriter:", u"zqvmon64.dll", {u"vexaWriter:"});
    spooler().onAddPrinter = [this](const PRINTER_INFO_2W& info) {
      received.push_back(Describe(info));
    };
  }
  // One of our printers with its settings key marked deleted, as an uninstall leaves it.
  SpoolerPrinter& Ours(const char* name, const char* subKey) {
    SpoolerPrinter& printer =
        spooler().AddPrinter(Widen(name), u"vexaWriter printer", u"vexaWriter:");
    winsim::Spooler::SetStringData(printer, "PrinterDriverData", "SubKey", subKey);
    SetDeletedMark(std::string("vexaWriters\\") + subKey);
    return printer;
  }
  void SetDeletedMark(const std::string& relative) {
    machine().registry().SetValue(HKEY_CURRENT_USER, Widen(kSettingsKeys + relative), u"deleted",
                                  REG_DWORD, {1, 0, 0, 0});
  }
  bool Marked(const std::string& relative) {
    return machine().registry().GetValue(HKEY_CURRENT_USER, Widen(kSettingsKeys + relative),
                                         u"deleted") != nullptr;
  }
  // The state as an uninstall leaves it: snapshot with the default marked, ours removed.
  void Uninstall() {
    MarkDefaultPrinter(state);
    RemoveAllPrinters(state);
    state.logText.Release();
    received.clear();
  }
  Names Printers() {
    Names names;
    for (const auto& printer : spooler().printers) names.push_back(Utf8(printer->name));
    return names;
  }
  std::string SubKey(const char* printer, const char* key) {
    const auto& data = spooler().FindPrinter(Widen(printer))->data;
    if (!data.count(key) || !data.at(key).count("subkey")) return "(none)";
    const std::vector<BYTE>& bytes = data.at(key).at("subkey").bytes;
    return std::string(bytes.begin(), bytes.end());
  }

  Names received;
};

const char* const kMonitorFound[] = {
    "  Let's check our port monitors",
    "  Port monitor (Windows x64) is found",
};

TEST_F(PrinterCreationTest, WithNothingSavedOnePrinterVexaWriterIsAdded) {
  RestorePrinters(state);
  EXPECT_EQ(Log(), JoinLines({
                       "#AddPrinter(vexaWriter)",
                       kMonitorFound[0],
                       kMonitorFound[1],
                       "  OK :)",
                   }));
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(Printers(), Names{"vexaWriter"});
  EXPECT_EQ(received, Names{"server=null name=\"vexaWriter\" share=null port=\"vexaWriter:\" "
                            "driver=\"vexaWriter printer\" comment=\"\" location=null "
                            "sepFile=null processor=\"WinPrint\" datatype=null parameters=null "
                            "devMode=null security=null numbers=0"});
  // A null data type is the print processor's default.
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"vexaWriter")->datatype), "RAW");
}

TEST_F(PrinterCreationTest, SavedPrintersComeBackLatestRemovedFirstWithTheirSettings) {
  SpoolerPrinter& a = Ours("A", "key-a");
  a.comment = u"first floor";
  a.location = u"room 1";
  spooler().AddPrinter(u"Laser", u"Generic / Text Only", u"LPT1:");
  Ours("B", "key-b");
  SetDeletedMark("key-a");  // a key of that name outside "vexaWriters" is not ours to touch
  spooler().defaultPrinter = u"A";
  Uninstall();
  EXPECT_EQ(Printers(), Names{"Laser"});
  EXPECT_EQ(Utf8(spooler().defaultPrinter), "");

  RestorePrinters(state);
  EXPECT_EQ(Log(), JoinLines({
                       "#AddPrinter(B)",
                       kMonitorFound[0],
                       kMonitorFound[1],
                       "  OK :)",
                       "#AddPrinter(A)",
                       kMonitorFound[0],
                       kMonitorFound[1],
                       "  OK :)",
                   }));
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(Printers(), (Names{"Laser", "B", "A"}));
  EXPECT_EQ(SubKey("A", "printerdriverdata"), std::string("key-a", 6));
  EXPECT_EQ(SubKey("A", "dsuser"), std::string("key-a", 6));
  EXPECT_EQ(SubKey("B", "dsuser"), std::string("key-b", 6));
  EXPECT_FALSE(Marked("vexaWriters\\key-a"));
  EXPECT_FALSE(Marked("vexaWriters\\key-b"));
  EXPECT_TRUE(Marked("key-a"));
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"A")->comment), "first floor");
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"A")->location), "room 1");
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"B")->comment), "");
  EXPECT_EQ(Utf8(spooler().defaultPrinter), "A");
}

TEST_F(PrinterCreationTest, OnlyASavedDefaultOfOursIsMadeTheDefaultAgain) {
  struct Case {
    const char* defaultBefore;
    const char* defaultAfter;
  } cases[] = {{"A", "A"}, {"B", "B"}, {"Laser", "Laser"}, {"", ""}};
  for (const Case& c : cases) {
    spooler().printers.clear();
    ReleaseInstallState(state);
    Ours("A", "key-a");
    spooler().AddPrinter(u"Laser", u"Generic / Text Only", u"LPT1:");
    Ours("B", "key-b");
    spooler().defaultPrinter = Widen(c.defaultBefore);
    Uninstall();
    RestorePrinters(state);
    EXPECT_EQ(Utf8(spooler().defaultPrinter), c.defaultAfter) << c.defaultBefore;
  }
}

TEST_F(PrinterCreationTest, TheMonitorCheckOnlyInformsTheLog) {
  struct Case {
    const char* what;
    std::vector<winsim::SpoolerMonitor> monitors;
    DWORD listingError;
    Names lines;
    bool added;
  } cases[] = {
      {"another monitor serves our port",
       {{u"Local Port", u"", u"localspl.dll", {u"LPT1:"}},
        {u"vexaWriter Port", u"", u"zqvmon64.dll", {u"vexaWriter:"}}},
       0,
       {"  No vexaWriter port monitor (Windows x64) was found.",
        "  ------- 2 existing monitors ----------", "  1. Local Port", "  2. vexaWriter Port",
        "  ---------------------------------------"},
       true},
      {"the monitors cannot be listed",
       {{u"vexaWriter:", u"", u"zqvmon64.dll", {u"vexaWriter:"}}},
       RPC_S_SERVER_UNAVAILABLE,
       {"  2. EnumMonitors  failed with code: The RPC server is unavailable.", "",
        "  No vexaWriter port monitor (Windows x64) was found.",
        "  BTW, there is no port monitors on this system."},
       true},
      {"no monitors at all",
       {},
       0,
       {"  1. EnumMonitors returns true", "  No vexaWriter port monitor (Windows x64) was found.",
        "  BTW, there is no port monitors on this system."},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    spooler().printers.clear();
    state.logText.Release();
    spooler().monitors = c.monitors;
    if (c.listingError != 0) {
      machine().FailCall("EnumMonitorsW", machine().CallCount("EnumMonitorsW") + 1, c.listingError);
    }
    UniquePrinter printer(CreatePrinter(state, L"P"));
    std::vector<const char*> lines = {"#AddPrinter(P)", kMonitorFound[0]};
    for (const std::string& line : c.lines) lines.push_back(line.c_str());
    lines.push_back(c.added ? "  OK :)"
                            : "  Error(15): Can`t add printer 'P' - (The specified port is "
                              "unknown.)");
    std::string expected;
    for (const char* line : lines) expected += std::string(line) + "\r\n";
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(printer.valid(), c.added);
  }
}

TEST_F(PrinterCreationTest, APrinterLeftBehindCannotBeAddedAndTheFallbackIsTried) {
  Ours("A", "key-a");
  machine().FailCall("DeletePrinter", 1, ERROR_ACCESS_DENIED);
  Uninstall();
  ASSERT_EQ(state.errorCount, 1);
  RestorePrinters(state);
  EXPECT_EQ(Log(), JoinLines({
                       "#AddPrinter(A)",
                       kMonitorFound[0],
                       kMonitorFound[1],
                       "  Error(15): Can`t add printer 'A' - (The printer already exists.)",
                       "#AddPrinter(vexaWriter)",
                       kMonitorFound[0],
                       kMonitorFound[1],
                       "  OK :)",
                   }));
  EXPECT_EQ(state.errorCount, 2);
  EXPECT_EQ(Printers(), (Names{"A", "vexaWriter"}));
  EXPECT_TRUE(Marked("vexaWriters\\key-a"));
}

// A step that fails after the add costs only its own setting; the printer still counts, so no
// fallback printer is added.
TEST_F(PrinterCreationTest, AFailureAfterTheAddLosesOnlyThatSetting) {
  struct Case {
    const char* function;
    unsigned nth;  // counted from the restore
    bool markCleared;
    bool commentBack;
    bool defaultBack;
  } cases[] = {
      {"SetPrinterDataExA", 1, false, true, true},
      {"RegOpenKeyExA", 1, false, true, true},
      {"GetPrinterW", 1, true, false, false},
      {"SetPrinterW", 1, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    spooler().printers.clear();
    ReleaseInstallState(state);
    Ours("A", "key-a").comment = u"first floor";
    spooler().defaultPrinter = u"A";
    Uninstall();
    machine().FailCall(c.function, machine().CallCount(c.function) + c.nth, ERROR_ACCESS_DENIED);
    RestorePrinters(state);
    EXPECT_EQ(state.errorCount, 0);
    EXPECT_EQ(Printers(), Names{"A"});
    EXPECT_EQ(!Marked("vexaWriters\\key-a"), c.markCleared);
    EXPECT_EQ(spooler().FindPrinter(u"A")->comment == u"first floor", c.commentBack);
    EXPECT_EQ(spooler().defaultPrinter == u"A", c.defaultBack);
  }
}

TEST_F(PrinterCreationTest, AMissingNameNeverReachesTheSpooler) {
  EXPECT_EQ(CreatePrinter(state, nullptr), nullptr);
  EXPECT_EQ(Log(), JoinLines({
                       "#AddPrinter(*)",
                       kMonitorFound[0],
                       kMonitorFound[1],
                       "  Error(15): Can`t add printer '*' - (The printer name is invalid.)",
                   }));
  EXPECT_EQ(machine().CallCount("AddPrinterW"), 0u);
}

}  // namespace
