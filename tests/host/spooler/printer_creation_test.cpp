#include "spooler/printer_creation.h"

#include "spooler/printer_removal.h"
#include "spooler/printer_snapshot.h"
#include "state_lifecycle.h"
#include "spooler_fixture.h"
#include "winsim/registry.h"

namespace {

using Names = std::vector<std::string>;

// The description's members in order, null texts told apart from empty ones.
std::string Describe(const PRINTER_INFO_2W& i) {
  std::string text;
  for (const WCHAR* member :
       {i.pServerName, i.pPrinterName, i.pShareName, i.pPortName, i.pDriverName, i.pComment,
        i.pLocation, i.pSepFile, i.pPrintProcessor, i.pDatatype, i.pParameters}) {
    text += member != nullptr ? "\"" + Utf8(member) + "\" " : "null ";
  }
  bool restZero = !i.pDevMode && !i.pSecurityDescriptor &&
                  !(i.Attributes | i.Priority | i.DefaultPriority | i.StartTime | i.UntilTime |
                    i.Status | i.cJobs | i.AveragePPM);
  return text + (restZero ? "zeros" : "numbers set");
}

class PrinterCreationTest : public SpoolerStepTest {
 protected:
  PrinterCreationTest() {
    spooler().AddDriver(u"vexaWriter printer");
    spooler().AddDriver(u"Generic / Text Only");
    spooler().AddMonitor(u"vexaWriter:", u"zqvmon64.dll", {u"vexaWriter:"});
    spooler().onAddPrinter = [this](const PRINTER_INFO_2W& info) {
      received.push_back(Describe(info));
    };
  }
  // Our printers, each with a comment, a location and a settings key marked deleted, after
  // another driver's printer; then ours are removed as an uninstall does.
  void Uninstall(const Names& ours, const char* defaultPrinter) {
    spooler().printers.clear();
    ReleaseInstallState(state);
    spooler().AddPrinter(u"Laser", u"Generic / Text Only", u"LPT1:");
    for (const std::string& name : ours) {
      auto& printer = spooler().AddPrinter(Widen(name), u"vexaWriter printer", u"vexaWriter:");
      printer.comment = Widen("c-" + name);
      printer.location = Widen("l-" + name);
      winsim::Spooler::SetStringData(printer, "PrinterDriverData", "SubKey", "key-" + name);
      SetMark("vexaWriters\\key-" + name);
    }
    spooler().defaultPrinter = Widen(defaultPrinter);
    MarkDefaultPrinter(state);
    RemoveAllPrinters(state);
    state.logText.Release();
  }
  std::string KeyPath(const std::string& relative) {
    return "Software\\Morvane Software KFT\\vexaWriter\\" + relative;
  }
  void SetMark(const std::string& relative) {
    machine().registry().SetValue(HKEY_CURRENT_USER, Widen(KeyPath(relative)), u"deleted",
                                  REG_DWORD, {1, 0, 0, 0});
  }
  bool Marked(const std::string& relative) {
    return machine().registry().GetValue(HKEY_CURRENT_USER, Widen(KeyPath(relative)), u"deleted") !=
           nullptr;
  }
  // "name|comment|location|plain SubKey|DsUser SubKey", a terminator shown as "\0".
  Names Printers() {
    Names names;
    for (const auto& printer : spooler().printers) {
      std::string text =
          Utf8(printer->name) + "|" + Utf8(printer->comment) + "|" + Utf8(printer->location);
      for (const char* key : {"printerdriverdata", "dsuser"}) {
        text += "|";
        if (!printer->data.count(key)) continue;
        for (BYTE b : printer->data.at(key).at("subkey").bytes)
          text += b ? std::string(1, b) : "\\0";
      }
      names.push_back(text);
    }
    return names;
  }

  Names received;
};

const char* const kCheck = "  Let's check our port monitors";
const char* const kFound = "  Port monitor (Windows x64) is found";

TEST_F(PrinterCreationTest, WithNothingSavedOnePrinterVexaWriterIsAdded) {
  RestorePrinters(state);
  EXPECT_EQ(Log(), JoinLines({"#AddPrinter(vexaWriter)", kCheck, kFound, "  OK :)"}));
  EXPECT_EQ(received, Names{R"(null "vexaWriter" null "vexaWriter:" "vexaWriter printer" "" null )"
                            R"(null "WinPrint" null null zeros)"});
  // The spooler gives a null data type the print processor's default.
  EXPECT_EQ(Utf8(spooler().FindPrinter(u"vexaWriter")->datatype), "RAW");
}

TEST_F(PrinterCreationTest, SavedPrintersComeBackLatestRemovedFirstWithTheirSettings) {
  const char* defaults[] = {"A", "Laser", ""};  // only a saved default of ours is set again
  for (const char* defaultPrinter : defaults) {
    Uninstall({"A", "B"}, defaultPrinter);
    SetMark("key-A");  // not below "vexaWriters": no settings key of a printer
    RestorePrinters(state);
    EXPECT_EQ(Log(), JoinLines({"#AddPrinter(B)", kCheck, kFound, "  OK :)", "#AddPrinter(A)",
                                kCheck, kFound, "  OK :)"}));
    EXPECT_EQ(Printers(),
              (Names{"Laser||||", "B|c-B|l-B|key-B\\0|key-B\\0", "A|c-A|l-A|key-A\\0|key-A\\0"}));
    EXPECT_FALSE(Marked("vexaWriters\\key-A") || Marked("vexaWriters\\key-B"));
    EXPECT_TRUE(Marked("key-A"));
    EXPECT_EQ(Utf8(spooler().defaultPrinter), defaultPrinter);
  }
}

// The check only informs the log: a monitor of another name may serve our port.
TEST_F(PrinterCreationTest, WithoutOurMonitorListedThePrinterIsStillAdded) {
  spooler().monitors = {{u"Local Port", u"", u"localspl.dll", {u"LPT1:"}},
                        {u"vexaWriter Port", u"", u"zqvmon64.dll", {u"vexaWriter:"}}};
  UniquePrinter listed(CreatePrinter(state, L"P"));
  machine().FailCall("EnumMonitorsW", machine().CallCount("EnumMonitorsW") + 1,
                     RPC_S_SERVER_UNAVAILABLE);
  UniquePrinter unlisted(CreatePrinter(state, L"Q"));
  EXPECT_TRUE(listed && unlisted);
  const char* notFound = "  No vexaWriter port monitor (Windows x64) was found.";
  EXPECT_EQ(
      Log(),
      JoinLines({"#AddPrinter(P)", kCheck, notFound, "  ------- 2 existing monitors ----------",
                 "  1. Local Port", "  2. vexaWriter Port",
                 "  ---------------------------------------", "  OK :)", "#AddPrinter(Q)", kCheck,
                 "  2. EnumMonitors  failed with code: The RPC server is unavailable.", "",
                 notFound, "  BTW, there is no port monitors on this system.", "  OK :)"}));
}

TEST_F(PrinterCreationTest, APrinterLeftBehindCannotBeAddedAndTheFallbackIsTried) {
  machine().FailCall("DeletePrinter", 1, ERROR_ACCESS_DENIED);
  Uninstall({"A"}, "");
  RestorePrinters(state);
  EXPECT_EQ(Log(), JoinLines({"#AddPrinter(A)", kCheck, kFound,
                              "  Error(15): Can`t add printer 'A' - (The printer already exists.)",
                              "#AddPrinter(vexaWriter)", kCheck, kFound, "  OK :)"}));
  EXPECT_EQ(state.errorCount, 2) << "the failed deletion and the failed add";
  EXPECT_EQ(Printers(), (Names{"Laser||||", "A|c-A|l-A|key-A\\0|", "vexaWriter||||"}));
  EXPECT_TRUE(Marked("vexaWriters\\key-A"));
}

// A printer the removal kept stands in for the fallback; a connection (the server's) does not.
TEST_F(PrinterCreationTest, OnlyAPrinterKeptInPlaceStandsInForTheFallback) {
  for (bool connection : {true, false}) {
    spooler().printers.clear();
    if (connection) spooler().AddConnection(u"\\\\srv", u"vexaWriter", u"vexaWriter printer", u"");
    if (!connection) spooler().AddPrinter(u"vexaWriter", u"vexaWriter printer", u"vexaWriter:");
    TakePrinterSnapshot(state.printers);
    state.checkMonitorVersion = 1;
    machine().FailCall("OpenPrinterW", machine().CallCount("OpenPrinterW") + 1,
                       ERROR_ACCESS_DENIED);
    RemoveAllPrinters(state);
    state.logText.Release();
    RestorePrinters(state);
    EXPECT_EQ(Log(),
              connection ? JoinLines({"#AddPrinter(vexaWriter)", kCheck, kFound, "  OK :)"}) : "");
  }
}

TEST_F(PrinterCreationTest, AMissingNameNeverReachesTheSpooler) {
  EXPECT_EQ(CreatePrinter(state, nullptr), nullptr);
  EXPECT_EQ(Log(),
            JoinLines({"#AddPrinter(*)", kCheck, kFound,
                       "  Error(15): Can`t add printer '*' - (The printer name is invalid.)"}));
  EXPECT_EQ(machine().CallCount("AddPrinterW"), 0u);
}

}  // namespace
