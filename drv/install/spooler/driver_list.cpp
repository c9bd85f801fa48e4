#include "driver_list.h"

#include "../foundation/product.h"
#include "foundation/text_compare.h"
#include "two_call.h"

namespace {

template <typename Record>
const WCHAR* NameAt(const void* records, DWORD index) {
  return static_cast<const Record*>(records)[index].pName;
}

}  // namespace

DriverList ListDrivers(const WCHAR* environment) {
  DriverList list;
  TwoCallResult result =
      FetchSpoolerRecords([environment](LPBYTE buffer, DWORD size, DWORD* needed, DWORD* count) {
        return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment), 6, buffer, size,
                                   needed, count);
      });
  if (result.outcome == TwoCallOutcome::Filled && result.count != 0) {
    list.records = std::move(result.block);
    list.count = result.count;
  }
  list.complete =
      result.outcome == TwoCallOutcome::Filled || result.outcome == TwoCallOutcome::NothingToList;
  return list;
}

const WCHAR* DriverName(const DriverList& list, DWORD index) {
  const void* records = list.records.get();
  if (records == nullptr || index >= list.count) return nullptr;
  switch (list.level) {
    case 1:
      return NameAt<DRIVER_INFO_1W>(records, index);
    case 2:
      return NameAt<DRIVER_INFO_2W>(records, index);
    case 3:
      return NameAt<DRIVER_INFO_3W>(records, index);
    case 4:
      return NameAt<DRIVER_INFO_4W>(records, index);
    case 5:
      return NameAt<DRIVER_INFO_5W>(records, index);
    case 6:
      return NameAt<DRIVER_INFO_6W>(records, index);
  }
  return nullptr;
}

int FindOurDriver(const DriverList& list) {
  for (DWORD i = 0; i < list.count; ++i) {
    if (IsExactName(DriverName(list, i), kDriverName)) return static_cast<int>(i);
  }
  return -1;
}
