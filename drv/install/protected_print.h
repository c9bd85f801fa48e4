// Whether Windows protected print mode is on: a mode of Windows 11 that admits no printer
// driver and no port monitor of other makers (and so none of ours).
//
// The platform's own answer comes first: the runtime class
// Windows.Graphics.Printing.ProtectedPrint.WindowsProtectedPrintInfo, activated through
// combase.dll, which is loaded from the system directory and whose calls are looked up at run
// time. Where it cannot answer (no such class before Windows 11 24H2, or any failed call), the
// mode's policy decides: the values "WindowsProtectedPrintGroupPolicyState" and
// "WindowsProtectedPrintMode" (REG_DWORD, 1 = on) under
// HKLM\SOFTWARE\Policies\Microsoft\Windows NT\Printers\WPP. Logs nothing; a failure counts as
// "off" unless the policy says otherwise.
#pragma once

bool ProtectedPrintIsOn();
