// GetLocalTime: the machine's starting local time run on by the virtual clock.
#include <time.h>

#include "winsim/machine.h"

using winsim::Machine;

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  winsim::EnterCall(__func__);
  const Machine& machine = Machine::Current();
  const SYSTEMTIME& start = machine.localTimeAtStart;
  struct tm fields = {};
  fields.tm_year = start.wYear - 1900;
  fields.tm_mon = start.wMonth - 1;
  fields.tm_mday = start.wDay;
  fields.tm_hour = start.wHour;
  fields.tm_min = start.wMinute;
  fields.tm_sec = start.wSecond;
  uint64_t milliseconds = start.wMilliseconds + machine.ElapsedMilliseconds();
  // Calendar arithmetic in UTC terms: the local time has no zone of its own here.
  time_t seconds = timegm(&fields) + static_cast<time_t>(milliseconds / 1000);
  gmtime_r(&seconds, &fields);
  lpSystemTime->wYear = static_cast<WORD>(fields.tm_year + 1900);
  lpSystemTime->wMonth = static_cast<WORD>(fields.tm_mon + 1);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(fields.tm_wday);
  lpSystemTime->wDay = static_cast<WORD>(fields.tm_mday);
  lpSystemTime->wHour = static_cast<WORD>(fields.tm_hour);
  lpSystemTime->wMinute = static_cast<WORD>(fields.tm_min);
  lpSystemTime->wSecond = static_cast<WORD>(fields.tm_sec);
  lpSystemTime->wMilliseconds = static_cast<WORD>(milliseconds % 1000);
}
