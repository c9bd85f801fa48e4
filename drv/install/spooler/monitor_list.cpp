#include "monitor_list.h"

#include "../foundation/install_log.h"
#include "../foundation/install_state.h"
#include "../foundation/product.h"
#include "foundation/text_compare.h"
#include "two_call.h"

namespace {

// Writes one failure line with the system's text for the last error as the system gives it,
// line end included.
void LogEnumerationFailure(InstallState& state, const WCHAR* format) {
  WCHAR* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, GetLastError(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
      reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  if (length == 0) text = nullptr;
  LogLine(state, format, text != nullptr ? text : L"No Error or no description");
  if (text != nullptr) LocalFree(text);
}

const WCHAR* MonitorName(const MonitorList& list, DWORD index) {
  const void* records = list.records.get();
  if (list.level == 1) return static_cast<const MONITOR_INFO_1W*>(records)[index].pName;
  if (list.level == 2) return static_cast<const MONITOR_INFO_2W*>(records)[index].pName;
  return nullptr;
}

}  // namespace

MonitorList ListMonitors(InstallState& state) {
  MonitorList list;
  TwoCallResult result =
      FetchSpoolerRecords([](LPBYTE buffer, DWORD size, DWORD* needed, DWORD* count) {
        return EnumMonitorsW(nullptr, 2, buffer, size, needed, count);
      });
  switch (result.outcome) {
    case TwoCallOutcome::Filled:
      list.records = std::move(result.block);
      list.count = result.count;
      break;
    case TwoCallOutcome::NothingToList:
      LogLine(state, L"1. EnumMonitors returns true");
      break;
    case TwoCallOutcome::SizeQueryFailed:
      LogEnumerationFailure(state, L"2. EnumMonitors  failed with code: %s");
      break;
    case TwoCallOutcome::OutOfMemory:
      LogLine(state, L"3. EnumMonitors - can't allocate memory for buffer");
      SetLastError(static_cast<DWORD>(E_OUTOFMEMORY));
      break;
    case TwoCallOutcome::FillFailed:
      LogEnumerationFailure(state, L"3. EnumMonitors  failed with code: %s");
      break;
  }
  if (list.count == 0) list.records.reset();
  list.complete =
      result.outcome == TwoCallOutcome::Filled || result.outcome == TwoCallOutcome::NothingToList;
  return list;
}

int FindOurMonitor(const MonitorList& list) {
  if (list.count == 0 || (list.level != 1 && list.level != 2)) return -1;
  for (DWORD i = 0; i < list.count; ++i) {
    if (IsExactName(MonitorName(list, i), kMonitorName)) return static_cast<int>(i);
  }
  return -1;
}

void LogMonitorList(InstallState& state, const MonitorList& list) {
  LogLine(state, L"------- %d existing monitors ----------", static_cast<int>(list.count));
  const auto* records = static_cast<const MONITOR_INFO_2W*>(list.records.get());
  for (DWORD i = 0; i < list.count; ++i) {
    const WCHAR* name = records[i].pName;
    LogLine(state, L"%d. %s", static_cast<int>(i + 1), name != nullptr ? name : L"***EMPTY***");
  }
  LogLine(state, L"---------------------------------------");
}
