// PendingRenameTable: a snapshot of the Session Manager's "PendingFileRenameOperations" value,
// the file operations the system carries out at the next boot, and the sweep that deletes at
// once the files that are only waiting there to be deleted.
//
// The value is written by any program on the machine, so it is parsed as untrusted bytes: no
// string is read beyond the data the read returned, a string cut off by the end of the data ends
// there, and a malformed or unreadable value gives a partial or empty table. Nothing is logged.
//
// The table owns two global-memory arrays and a global-memory copy of every non-empty string;
// releasing it (or its destructor) frees them all. The registry value is never written back.
#pragma once

#include <windows.h>

struct PendingRenameTable {
  // 2 * count entries: entry 2p is the source of pair p, entry 2p + 1 its new path. A string is
  // kept whole, "\??\" prefix included; an empty string has no copy (null).
  WCHAR** paths = nullptr;
  // 2 * count flags: 1 when the entry's path named an existing object other than a directory
  // when the table was read (only the sources' flags are used). The sweep clears the flag of a
  // source it deletes.
  int* isFile = nullptr;
  int count = 0;

  PendingRenameTable() = default;
  ~PendingRenameTable();
  PendingRenameTable(const PendingRenameTable&) = delete;
  PendingRenameTable& operator=(const PendingRenameTable&) = delete;
};

// Replaces the table's contents with a fresh read of the value; every failure (no key, no value,
// no memory, a read that does not complete) leaves the table empty.
void ReadPendingRenames(PendingRenameTable& table);
// Deletes the source of every deletion entry (empty new path) whose flag is 1 and whose path is
// one of `ours` (ASCII letter case ignored), clearing the flag when the deletion succeeds.
// Renames and other programs' entries are never touched: during a run a user could have
// redirected a folder on their path, which at boot nothing can. A failed deletion is ignored.
void SweepPendingRenames(PendingRenameTable& table, const WCHAR* const* ours, int ourCount);
void ReleasePendingRenames(PendingRenameTable& table);
// A fresh table, swept and released: the deletions of our files the boot would do that can be
// done now.
void SweepBootTimeDeletes(const WCHAR* const* ours, int ourCount);
// The file is waiting in the table to be deleted at the next boot (ASCII letter case ignored).
bool IsPendingDeletionAtBoot(const WCHAR* path);

// The path a stored string names: past the "\??\" object prefix when it starts with exactly
// that, else the whole string.
const WCHAR* PathWithoutObjectPrefix(const WCHAR* stored);
