// The post-reboot check of the "onInit" mode: is one of our 64-bit driver files still waiting
// for a boot-time operation, after deleting what can be deleted now (of our own files only)?
// Writes no log and reports nothing; it restarts the spooler between its two looks so that files
// the spooler held are let go of.
#pragma once

struct PendingRenameTable;

// True when one of our files was found pending in both passes (the spooler has then been
// restarted twice); false as soon as a pass finds none, without touching the spooler.
bool PostRebootCheck();
// The same answer from one look at the table, changing nothing: for while another run works.
bool DriverFilePendingNow();

// True when a pair's source still names an existing file (flag 1) whose file-name part, after
// the last backslash, slash or colon, is the port monitor DLL, the driver DLL or the driver UI
// DLL, in any ASCII letter case. The new path is not looked at: a pending rename counts too.
bool HasPendingDriverFile(const PendingRenameTable& table);
