#pragma once
// Calendar time and the local time zone, read through one object so that
// whatever shows or stamps a time can be pinned in tests:
//
//   Ref<Clock> clock = makeRef<FixedClock>(1700000000, 3600);   // UTC+1
//   clock->now();   clock->setNow(...);

#include <cstdint>
#include <ctime>

#include "base/ibase.h"

class Clock : public RefCounted<> {
public:
  // Seconds since 1970-01-01 UTC.
  virtual int64_t now() = 0;
  // Broken-down local time of t; false when the platform cannot convert it.
  virtual bool toLocal(int64_t t, std::tm* out) = 0;
};

// The runtime library's time() and localtime(); one shared instance.
Clock* systemClock();

// A clock that stands still where it is put, in a zone with a fixed offset
// from UTC and no daylight saving.
class FixedClock : public Clock {
public:
  FixedClock(int64_t now, int32_t utcOffsetSeconds) : now_(now), offset_(utcOffsetSeconds) {}
  int64_t now() override { return now_; }
  bool toLocal(int64_t t, std::tm* out) override;
  void setNow(int64_t now) { now_ = now; }

private:
  int64_t now_;
  int32_t offset_;
};
