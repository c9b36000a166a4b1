#include "base/clock.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

class SystemClock : public Clock {
public:
  int64_t now() override {
#ifdef _WIN32
    // The runtime's time() takes the time-zone path on some platforms and
    // costs microseconds; every logged line reads the clock.
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const int64_t ticks = int64_t(uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime);
    return (ticks - 116444736000000000LL) / 10000000LL;  // 100 ns units since 1601
#else
    return int64_t(std::time(nullptr));
#endif
  }
  bool toLocal(int64_t t, std::tm* out) override {
    std::time_t value = std::time_t(t);
    // Only the GUI thread formats times, so the shared result buffer is safe.
    const std::tm* local = std::localtime(&value);
    if (!local) return false;
    *out = *local;
    return true;
  }
};

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

Clock* systemClock() {
  static Ref<Clock> clock(new SystemClock);
  return clock.get();
}

bool FixedClock::toLocal(int64_t t, std::tm* out) {
  const int64_t local = t + offset_;
  const int64_t days = floorDiv(local, 86400);
  const int64_t secs = local - days * 86400;
  // Civil date from a day count (proleptic Gregorian, eras of 400 years).
  const int64_t z = days + 719468;
  const int64_t era = floorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2);

  static const int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  *out = std::tm{};
  out->tm_year = int(year - 1900);
  out->tm_mon = int(month - 1);
  out->tm_mday = int(day);
  out->tm_hour = int(secs / 3600);
  out->tm_min = int(secs / 60 % 60);
  out->tm_sec = int(secs % 60);
  out->tm_yday = kDaysBefore[month - 1] + int(day) - 1 + (leap && month > 2);
  out->tm_wday = int(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  out->tm_isdst = 0;
  return true;
}
