// The numbered errors of the install log: each code names one kind of failure, and its
// message format is the text the log shows after "Error(code): ".
#pragma once

#include <windows.h>

enum ErrorCode : int {
  kErrorOpenServiceManager = 1,
  kErrorOpenSpooler = 2,
  kErrorStopSpooler = 3,
  kErrorStartSpooler = 4,
  kErrorControlService = 5,
  kErrorDriverDirectory = 6,
  kErrorSystemDirectory = 7,
  kErrorCopyShortWrite = 8,       // message: the copy line of the file copy
  kErrorCopyOpenDestination = 9,  // message: the copy line of the file copy
  kErrorCopyOpenSource = 10,      // message: the copy line of the file copy
  kErrorInstallMonitor = 11,
  kErrorRemoveMonitor = 12,
  kErrorInstallDriver = 13,
  kErrorRemoveDriver = 14,
  kErrorAddPrinter = 15,
  kErrorOpenPrinter = 16,
  kErrorDeletePrinter = 17,
  kErrorRunLock = 18,  // messages: the three run-lock messages below
  kErrorUntrustedFolder = 19,
  // messages: the protected print mode and ARM64 messages below
  kErrorUnusableWindows = 20,
};

constexpr const WCHAR* kMessageOpenServiceManager = L"Can't open service manager.";
constexpr const WCHAR* kMessageOpenSpooler = L"Can't open the spooler";
constexpr const WCHAR* kMessageStopSpooler = L"Can't stop the spooler";
constexpr const WCHAR* kMessageStartSpooler = L"Can't start the spooler";
constexpr const WCHAR* kMessageControlService = L"ControlService failed with code %d (0x%x)";
constexpr const WCHAR* kMessageDriverDirectory = L"Can`t retrieve printer driver directory.";
constexpr const WCHAR* kMessageSystemDirectory = L"Can`t retrieve system directory.";
constexpr const WCHAR* kMessageInstallMonitor = L"Can`t install a local port monitor'vexaWriter:'";
constexpr const WCHAR* kMessageRemoveMonitor = L"Can`t remove the port monitor 'vexaWriter:'";
constexpr const WCHAR* kMessageInstallDriver =
    L"Can`t install a %s printer driver 'vexaWriter printer'";
constexpr const WCHAR* kMessageRemoveDriver =
    L"Can`t remove the printer-driver 'vexaWriter printer'";
constexpr const WCHAR* kMessageAddPrinter = L"Can`t add printer '%s'";
constexpr const WCHAR* kMessageOpenPrinter = L"Can`t open printer '%s'";
constexpr const WCHAR* kMessageDeletePrinter = L"Can`t delete printer '%s'";
// Another run held the machine-wide run lock for longer than the longest run lasts.
constexpr const WCHAR* kMessageRunLockTimeout =
    L"Can`t wait any longer for the other run of the installer";
// The lock exists but was made by an account other than Administrators or the system.
constexpr const WCHAR* kMessageRunLockUntrusted =
    L"Can`t trust the lock against a second run: another account made it";
constexpr const WCHAR* kMessageRunLockUnavailable = L"Can`t make the lock against a second run";
// A folder of the package, or a payload file in it, that other accounts can change or that a
// link leads to.
constexpr const WCHAR* kMessageUntrustedFolder =
    L"Can`t trust the folder %s: other accounts can change it";
// This Windows cannot load our port monitor and printer driver: an install changes nothing.
constexpr const WCHAR* kMessageProtectedPrint =
    L"Can`t install: Windows protected print mode is on, it admits no printer driver of other "
    L"makers";
constexpr const WCHAR* kMessageArm64Windows =
    L"Can`t install: this is an ARM64 Windows, the x64 printer driver cannot run on it";
