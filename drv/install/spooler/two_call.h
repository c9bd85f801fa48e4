// The spooler's two-call pattern, written once: ask for the size with no buffer, go on only
// when the spooler answers ERROR_INSUFFICIENT_BUFFER, take a zero-filled global block of that
// size (plus any slack the caller wants) and ask again with the needed size.
//
// The result owns the filled block. On every failure the block is already freed and the
// thread's last error is the one that explains the failure: the spooler's, or E_OUTOFMEMORY
// when the block could not be had.
#pragma once

#include <windows.h>

#include <utility>

#include "../foundation/handles.h"

enum class TwoCallOutcome {
  Filled,           // the block holds the records
  NothingToList,    // the size query succeeded: there is nothing to fetch
  SizeQueryFailed,  // the size query failed with an error other than ERROR_INSUFFICIENT_BUFFER
  OutOfMemory,      // the block could not be allocated
  FillFailed,       // the second call failed
};

struct TwoCallResult {
  TwoCallOutcome outcome = TwoCallOutcome::NothingToList;
  UniqueGlobalBlock block;
  DWORD count = 0;
};

// `query(buffer, size, &needed, &count)` makes one spooler call and returns its BOOL result;
// calls that return a single record leave `count` alone. `slackBytes` are allocated beyond the
// needed size without being announced to the spooler.
template <typename Query>
TwoCallResult FetchSpoolerRecords(Query query, DWORD slackBytes = 0) {
  TwoCallResult result;
  DWORD needed = 0;
  DWORD count = 0;
  if (query(nullptr, 0, &needed, &count)) return result;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    result.outcome = TwoCallOutcome::SizeQueryFailed;
    return result;
  }
  UniqueGlobalBlock block(AllocateZeroedGlobal(static_cast<SIZE_T>(needed) + slackBytes));
  if (!block) {
    result.outcome = TwoCallOutcome::OutOfMemory;
    return result;
  }
  count = 0;
  if (!query(static_cast<LPBYTE>(block.get()), needed, &needed, &count)) {
    result.outcome = TwoCallOutcome::FillFailed;
    return result;  // the block is freed on the way out, keeping the spooler's last error
  }
  result.outcome = TwoCallOutcome::Filled;
  result.block = std::move(block);
  result.count = count;
  return result;
}
