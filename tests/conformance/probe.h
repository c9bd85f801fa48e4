// The platform conformance probe: one source that calls the platform functions the installer
// relies on, in the situations it meets, and prints one "key: value" line per observation.
//
// The same topics are built against the simulated Windows (host_main.cpp stages the starting
// situation on a winsim::Machine) and for Windows (windows_main.cpp, run under Wine), and the
// two transcripts are compared line by line. Values are normalised: no handle values, timings or
// prefix paths, so that a line differs only when the platforms behave differently.
//
// Both builds start from the same situation: the spooler service stopped, no printers, no
// printer drivers, the "Local Port" monitor only, no default printer, and these files:
//   C:\probe\zqvmon64.dll, zqvdrv64.dll, zqvui64.dll, zqvhelp.chm, vextray.exe  (the package)
//   C:\probe\vsample.dll        file version 1.0.0.1000, product version 1.0.0.2609
//   C:\probe\old\zqvdrv64.dll   a copy of vsample.dll
//   <system directory>\zqvmon64.dll  the monitor DLL
#pragma once

#include <windows.h>

// Names every topic uses.
#define PROBE_DIR L"C:\\probe"
#define PROBE_MONITOR L"vexaWriter:"
#define PROBE_DRIVER L"vexaWriter probe driver"
#define PROBE_DRIVER_2 L"vexaWriter probe driver 2"
#define PROBE_PRINTER_A L"Probe A"
#define PROBE_PRINTER_B L"Probe B"
#define PROBE_PRINTER_C L"Probe C"
#define PROBE_ENVIRONMENT L"Windows x64"
#define PROBE_DRIVER_DIRECTORY L"C:\\windows\\system32\\spool\\drivers\\x64"
#define PROBE_DRIVER_FILES PROBE_DRIVER_DIRECTORY L"\\3"

// One observation line: "key: value", the value formatted as printf formats it.
void Observe(const char* key, const char* format, ...) __attribute__((format(printf, 2, 3)));
// "ok" for success, else "fail <last error>".
void ObserveCall(const char* key, BOOL succeeded);
// "ok" for ERROR_SUCCESS, else "fail <status>", for calls that return their error.
void ObserveStatus(const char* key, DWORD status);
// ASCII copy of wide text for printing; other characters become '?'. Null prints "(null)".
// The copy lasts for the next seven calls.
const char* Narrow(const WCHAR* text);
// Number of observations printed so far.
unsigned ObservationCount();

// Shared steps of several topics.
HANDLE OpenProbePrinter(const WCHAR* name, ACCESS_MASK access);
HANDLE AddProbePrinter(const WCHAR* name, const WCHAR* datatype);
// The probe driver: driver and data file driverFile, configuration file zqvui64.dll and, when
// asked, help file zqvhelp.chm from C:\probe. Each is first copied into the driver directory,
// where the spooler takes the files of a new driver from.
BOOL AddProbeDriver(const WCHAR* name, const WCHAR* driverFile, DWORD copyFlags,
                    bool withHelp = true);
bool FileThere(const WCHAR* path);
// Copies a file with the file calls; false when it could not be read or written.
bool CopyProbeFile(const WCHAR* from, const WCHAR* to);

// The topics, in the order the probe runs them (tests/conformance/topic_*.cpp). Each starts
// from what the topics before it left and cleans up what it made.
void ProbeServices();
void ProbeMonitors();
void ProbeDrivers();
void ProbePrinters();
void ProbePrinterData();
void ProbeDefaultPrinter();
void ProbeJobs();
void ProbeDriverFiles();
void ProbeFiles();
void ProbeRegistry();
void ProbeVersions();
void ProbeDeviations();
void ProbeTrayContract();
void ProbeLogFolder();
void ProbeRunLock();
void ProbePayloadFolder();
void ProbeUnusableWindows();
void ProbeSessions();

// Runs every topic; returns the process exit code (0).
int RunConformanceProbe();

// Numbers go to Observe through this: DWORD is unsigned long on Windows and a 32-bit unsigned
// int in the simulation, and "%lu"/"%lx" need the same type on both.
inline unsigned long Number(DWORD value) {
  return value;
}
