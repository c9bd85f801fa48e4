#include "spooler/printer_removal.h"

#include "spooler/printer_info.h"
#include "spooler/printer_snapshot.h"
#include "spooler_fixture.h"
#include "state_lifecycle.h"

namespace {

using winsim::SpoolerPrinter;

class PrinterSnapshotTest : public SpoolerStepTest {
 protected:
  PrinterSnapshotTest() {
    spooler().AddDriver(u"vexaWriter printer");
    spooler().AddDriver(u"Generic / Text Only");
    spooler().AddMonitor(u"vexaWriter:", u"zqvmon64.dll", {u"vexaWriter:"});
  }
  SpoolerPrinter& Ours(const char* name) {
    return spooler().AddPrinter(Widen(name), u"vexaWriter printer", u"vexaWriter:");
  }
  SpoolerPrinter& Other(const char* name) {
    return spooler().AddPrinter(Widen(name), u"Generic / Text Only", u"LPT1:");
  }
  // The names of the snapshot's records that carry the default mark.
  std::vector<std::string> Marked() const {
    std::vector<std::string> names;
    for (DWORD i = 0; i < state.printers.count; ++i) {
      const PRINTER_INFO_2W& record = state.printers.records[i];
      if (record.Attributes & PRINTER_ATTRIBUTE_DEFAULT) names.push_back(Utf8(record.pPrinterName));
    }
    return names;
  }
  std::vector<std::string> Saved() const {
    std::vector<std::string> saved;
    for (SavedPrinter* node = state.savedPrinters; node != nullptr; node = node->next) {
      saved.push_back(Utf8(node->printer->pPrinterName) + "=" + node->subKey);
    }
    return saved;
  }
  std::vector<std::string> Remaining() {
    std::vector<std::string> names;
    for (const auto& printer : spooler().printers) names.push_back(Utf8(printer->name));
    return names;
  }
};

using Names = std::vector<std::string>;

TEST_F(PrinterSnapshotTest, TakesEveryPrinterInTheSpoolersOrder) {
  Other("Laser");
  Ours("vexaWriter");
  TakePrinterSnapshot(state.printers);
  ASSERT_EQ(state.printers.count, 2u);
  EXPECT_EQ(Utf8(state.printers.records[0].pPrinterName), "Laser");
  EXPECT_EQ(Utf8(state.printers.records[1].pPortName), "vexaWriter:");
  EXPECT_EQ(Utf8(state.printers.records[1].pDriverName), "vexaWriter printer");
  TakePrinterSnapshot(state.printers);  // a second snapshot replaces the first
  EXPECT_EQ(state.printers.count, 2u);
}

TEST_F(PrinterSnapshotTest, AFailedListingLeavesTheSnapshotEmptyWithoutRetrying) {
  Ours("vexaWriter");
  struct Case {
    const char* function;
    unsigned nth;
    DWORD error;
    unsigned enumerations;
  } cases[] = {
      {"EnumPrintersW", 1, RPC_S_SERVER_UNAVAILABLE, 1},
      {"GlobalAlloc", 1, ERROR_OUTOFMEMORY, 1},
      {"EnumPrintersW", 2, ERROR_INSUFFICIENT_BUFFER, 2},  // a printer appeared in between
  };
  for (const Case& c : cases) {
    TakePrinterSnapshot(state.printers);
    ASSERT_EQ(state.printers.count, 1u);
    unsigned before = machine().CallCount("EnumPrintersW");
    machine().FailCall(c.function, machine().CallCount(c.function) + c.nth, c.error);
    TakePrinterSnapshot(state.printers);
    EXPECT_EQ(state.printers.count, 0u) << c.function << " " << c.nth;
    EXPECT_EQ(state.printers.records, nullptr);
    EXPECT_EQ(machine().CallCount("EnumPrintersW") - before, c.enumerations);
  }
}

TEST_F(PrinterSnapshotTest, NoPrintersGiveAnEmptySnapshot) {
  TakePrinterSnapshot(state.printers);
  EXPECT_EQ(state.printers.count, 0u);
  EXPECT_EQ(machine().CallCount("GlobalAlloc"), 0u);
}

TEST_F(PrinterSnapshotTest, TheDefaultMarkGoesOnEveryRecordOfThatExactName) {
  struct Case {
    const char* what;
    const char* defaultPrinter;
    Names marked;
  } cases[] = {
      {"no default printer", "", {}},
      {"ours", "vexaWriter", {"vexaWriter"}},
      {"another's", "Laser", {"Laser"}},
      {"several records of the name", "Twin", {"Twin", "Twin"}},
      {"the name in other letter case", "VEXAWRITER", {}},
      {"a longer name", "vexaWriter 2", {}},
  };
  Other("Laser");
  Ours("vexaWriter");
  Other("Twin");
  Ours("Twin");
  for (const Case& c : cases) {
    spooler().defaultPrinter = Widen(c.defaultPrinter);
    MarkDefaultPrinter(state);
    EXPECT_EQ(Marked(), c.marked) << c.what;
    EXPECT_EQ(state.printers.count, 4u);
  }
  EXPECT_EQ(machine().OpenHandleCount(), 0u) << "the spooler library is let go";
}

TEST_F(PrinterSnapshotTest, ADefaultNameTooLongForTheBufferMarksNothing) {
  std::string name(254, 'p');
  Other(name.c_str());
  spooler().defaultPrinter = Widen(name);
  MarkDefaultPrinter(state);
  EXPECT_EQ(Marked(), Names{name});
  name += "q";
  spooler().printers.front()->name = Widen(name);
  spooler().defaultPrinter = Widen(name);
  MarkDefaultPrinter(state);
  EXPECT_EQ(Marked(), Names{});
}

TEST_F(PrinterSnapshotTest, WithoutTheSpoolerLibraryNothingIsMarked) {
  Ours("vexaWriter");
  spooler().defaultPrinter = u"vexaWriter";
  for (const char* function : {"LoadLibraryExW", "GetProcAddress"}) {
    machine().FailCall(function, machine().CallCount(function) + 1, ERROR_MOD_NOT_FOUND);
    MarkDefaultPrinter(state);
    EXPECT_EQ(state.printers.count, 1u) << function;
    EXPECT_EQ(Marked(), Names{}) << function;
  }
}

class RemoveAllPrintersTest : public PrinterSnapshotTest {
 protected:
  void Run() {
    TakePrinterSnapshot(state.printers);
    state.indent = 1;
    RemoveAllPrinters(state);
  }
};

TEST_F(RemoveAllPrintersTest, NoPrintersLeaveOnlyTheHeading) {
  Run();
  EXPECT_EQ(Log(), "  #DeleteAllPrinters\r\n");
  EXPECT_EQ(state.indent, 1);
}

TEST_F(RemoveAllPrintersTest, OnlyPrintersOfExactlyOurDriverGoAndAreSavedInReverseOrder) {
  Ours("A").data.clear();
  winsim::Spooler::SetStringData(Ours("A2"), "PrinterDriverData", "SubKey", "key-a");
  Other("Laser");
  winsim::Spooler::SetStringData(Ours("B"), "PrinterDriverData", "SubKey", "key-b");
  spooler().AddDriver(u"VexaWriter printer");
  spooler().AddDriver(u"vexaWriter printer 2");
  spooler().AddPrinter(u"Cased", u"VexaWriter printer", u"LPT1:");
  spooler().AddPrinter(u"Longer", u"vexaWriter printer 2", u"LPT1:");
  spooler().AddConnection(u"\\\\srv", u"Shared", u"vexaWriter printer", u"vexaWriter:");
  // Marked by its server name alone.
  spooler().AddConnection(u"\\\\srv", u"Named", u"vexaWriter printer", u"").attributes =
      PRINTER_ATTRIBUTE_LOCAL;
  Run();
  EXPECT_EQ(Log(), JoinLines({
                       "  #DeleteAllPrinters",
                       "    #DeletePrinter(A)",
                       "      OK",
                       "    #DeletePrinter(A2)",
                       "      OK",
                       "    #DeletePrinter(B)",
                       "      OK",
                       "    Printer \\\\srv\\Shared is a connection to a print server, it stays",
                       "    Printer \\\\srv\\Named is a connection to a print server, it stays",
                   }));
  EXPECT_EQ(state.errorCount, 0);
  EXPECT_EQ(Saved(), (Names{"B=key-b", "A2=key-a"}));
  EXPECT_EQ(Remaining(), (Names{"Laser", "Cased", "Longer", "\\\\srv\\Shared", "\\\\srv\\Named"}));
  // The nodes point into the snapshot, which still describes the removed printers.
  EXPECT_EQ(state.savedPrinters->printer, &state.printers.records[3]);
}

// What is read as the printer's settings key: REG_SZ text of at most 63 characters, from the
// plain printer data or else from the key "DsUser".
TEST_F(RemoveAllPrintersTest, TheSettingsKeyNameIsReadWithinItsLimits) {
  struct Value {
    const char* key;
    DWORD type;
    std::string bytes;
  };
  struct Case {
    const char* what;
    std::vector<Value> values;
    std::string saved;  // empty: no node
  } cases[] = {
      {"63 characters",
       {{"PrinterDriverData", REG_SZ, std::string(63, 'k') + '\0'}},
       std::string(63, 'k')},
      {"64 characters", {{"PrinterDriverData", REG_SZ, std::string(64, 'k') + '\0'}}, ""},
      {"under DsUser only", {{"DsUser", REG_SZ, std::string("ds-key") + '\0'}}, "ds-key"},
      {"plain first",
       {{"PrinterDriverData", REG_SZ, std::string("plain") + '\0'},
        {"DsUser", REG_SZ, std::string("ds") + '\0'}},
       "plain"},
      {"plain too long, DsUser fits",
       {{"PrinterDriverData", REG_SZ, std::string(70, 'k') + '\0'},
        {"DsUser", REG_SZ, std::string("ds") + '\0'}},
       "ds"},
      {"expandable text", {{"PrinterDriverData", REG_EXPAND_SZ, std::string("x") + '\0'}}, ""},
      {"binary", {{"DsUser", REG_BINARY, std::string("bin") + '\0'}}, ""},
      {"a number", {{"PrinterDriverData", REG_DWORD, std::string("\x01\0\0\0", 4)}}, ""},
      {"empty text", {{"PrinterDriverData", REG_SZ, std::string(1, '\0')}}, ""},
      {"no value", {}, ""},
      {"text without its terminator", {{"DsUser", REG_SZ, "abc"}}, "abc"},
      {"64 bytes without a terminator", {{"DsUser", REG_SZ, std::string(64, 'k')}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SpoolerPrinter& printer = Ours("P");
    for (const Value& value : c.values) {
      winsim::Spooler::SetData(printer, value.key, "SubKey", value.type,
                               std::vector<BYTE>(value.bytes.begin(), value.bytes.end()));
    }
    Run();
    EXPECT_EQ(state.errorCount, 0);
    EXPECT_EQ(Remaining(), Names{});
    EXPECT_EQ(Saved(), c.saved.empty() ? Names{} : Names{"P=" + c.saved});
    ReleaseInstallState(state);
  }
}

// A reinstall re-creates only the printers it saved: one whose settings cannot be saved stays.
TEST_F(RemoveAllPrintersTest, DuringAReinstallAPrinterWhoseSettingsCannotBeSavedStays) {
  struct Case {
    const char* function;
    DWORD error;
    const char* key;  // where the printer keeps its settings key name
    bool stays;       // during a reinstall
  } cases[] = {{"OpenPrinterW", ERROR_ACCESS_DENIED, "DsUser", true},
               {"GetPrinterDataA", RPC_S_SERVER_UNAVAILABLE, "PrinterDriverData", true},
               {"GetPrinterDataExA", RPC_S_SERVER_UNAVAILABLE, "DsUser", true},
               {"GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, "DsUser", true},
               // Gone since the snapshot, as far as the spooler knows: nothing to keep.
               {"OpenPrinterW", ERROR_INVALID_PRINTER_NAME, "DsUser", false}};
  for (const Case& c : cases) {
    for (int reinstall : {1, 0}) {
      SCOPED_TRACE(std::string(c.function) + (reinstall ? " reinstall" : " uninstall"));
      winsim::Spooler::SetStringData(Ours("A"), c.key, "SubKey", "key-a");
      TakePrinterSnapshot(state.printers);
      state.checkMonitorVersion = reinstall;
      machine().FailCall(c.function, machine().CallCount(c.function) + 1, c.error);
      RemoveAllPrinters(state);
      EXPECT_EQ(Log().find("Can't read the settings of printer A, it stays") != std::string::npos,
                reinstall == 1 && c.stays);
      EXPECT_EQ(Remaining(), reinstall && c.stays ? Names{"A"} : Names{});
      EXPECT_EQ(state.keptPrinters, reinstall && c.stays ? 1u : 0u) << "present after the run";
      state.keptPrinters = 0;
      EXPECT_EQ(Saved(), Names{});
      ReleaseInstallState(state);
      spooler().printers.clear();
    }
  }
}

TEST_F(RemoveAllPrintersTest, APrinterThatCannotBeOpenedForDeletionIsErrorSixteen) {
  winsim::Spooler::SetStringData(Ours("A"), "DsUser", "SubKey", "key-a");
  machine().FailCall("OpenPrinterW", 2, ERROR_ACCESS_DENIED);  // the first is for the key
  Run();
  EXPECT_EQ(Log(), JoinLines({
                       "  #DeleteAllPrinters",
                       "    #DeletePrinter(A)",
                       "      Error(16): Can`t open printer 'A' - (Access is denied.)",
                   }));
  EXPECT_EQ(state.errorCount, 1);
  EXPECT_EQ(Remaining(), Names{"A"});
  EXPECT_EQ(Saved(), Names{"A=key-a"}) << "the node made before the attempt stays";
}

TEST_F(RemoveAllPrintersTest, APrinterThatCannotBeDeletedIsErrorSeventeenAndTheNextOneGoes) {
  Ours("A");
  Ours("B");
  machine().FailCall("DeletePrinter", 1, ERROR_ACCESS_DENIED);
  Run();
  EXPECT_EQ(Log(), JoinLines({
                       "  #DeleteAllPrinters",
                       "    #DeletePrinter(A)",
                       "      Error(17): Can`t delete printer 'A' - (Access is denied.)",
                       "    #DeletePrinter(B)",
                       "      OK",
                   }));
  EXPECT_EQ(state.errorCount, 1);
  EXPECT_EQ(Remaining(), Names{"A"});
}

TEST_F(RemoveAllPrintersTest, QueuedJobsArePurgedSoThePrinterGoesAtOnce) {
  Ours("A").jobs = 3;
  Run();
  EXPECT_EQ(Remaining(), Names{});
  EXPECT_EQ(state.errorCount, 0);
}

TEST_F(RemoveAllPrintersTest, APrinterDeletedSinceTheSnapshotIsErrorSixteen) {
  Ours("A");
  TakePrinterSnapshot(state.printers);
  spooler().printers.clear();
  RemoveAllPrinters(state);
  EXPECT_EQ(Log(), JoinLines({
                       "#DeleteAllPrinters",
                       "  #DeletePrinter(A)",
                       "    Error(16): Can`t open printer 'A' - (The printer name is invalid.)",
                   }));
  EXPECT_EQ(Saved(), Names{});
}

TEST_F(RemoveAllPrintersTest, AMissingNameIsNeverTakenForThePrintServer) {
  RemovePrinter(state, nullptr);
  EXPECT_EQ(Log(), JoinLines({
                       "#DeletePrinter(*)",
                       "  Error(16): Can`t open printer '*' - (The printer name is invalid.)",
                   }));
  EXPECT_EQ(machine().CallCount("OpenPrinterW"), 0u);
}

TEST_F(RemoveAllPrintersTest, FetchPrinterInfoGivesTheLevelTwoDescription) {
  SpoolerPrinter& printer = Ours("A");
  printer.comment = u"first floor";
  UniquePrinter handle;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"A"), handle.put(), nullptr));
  UniqueGlobalBlock info = FetchPrinterInfo(handle.get());
  ASSERT_TRUE(info);
  auto* record = static_cast<PRINTER_INFO_2W*>(info.get());
  EXPECT_EQ(Utf8(record->pComment), "first floor");
  EXPECT_EQ(Utf8(record->pDriverName), "vexaWriter printer");

  machine().FailCall("GlobalAlloc", machine().CallCount("GlobalAlloc") + 1, ERROR_OUTOFMEMORY);
  EXPECT_FALSE(FetchPrinterInfo(handle.get()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_OUTOFMEMORY));
  machine().FailCall("GetPrinterW", machine().CallCount("GetPrinterW") + 2, ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FetchPrinterInfo(handle.get()));
  EXPECT_FALSE(FetchPrinterInfo(nullptr));
}

}  // namespace
