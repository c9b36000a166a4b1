#pragma once
// TimerManager: any number of one-shot timers multiplexed onto one Win32 timer.
//
//   unsigned id = addTimerListener(200, delegate, this);   // fires once
//   removeTimer(id);                                        // if still pending
//
// Expiries are 32-bit tick counts that wrap; timers with equal expiries fire in
// the order they were added. The tick source is injectable so tests can move
// time instead of sleeping.

#include <cstdint>
#include <map>

#include "base/event.h"
#include "gui/nullwindow.h"

class TimerEvent : public IMsgEvent {
public:
  explicit TimerEvent(void* userData) : userData_(userData) {}
  void* getUserData() const { return userData_; }

private:
  void* userData_;
};

class TimerManager : public RefCounted<> {
public:
  using TickSource = uint32_t (*)();
  static constexpr unsigned kNoTimer = unsigned(-1);

  // A new manager with count 0, or null when its window cannot be made.
  static TimerManager* create(TickSource ticks = nullptr);
  ~TimerManager() override;

  unsigned addTimerListener(unsigned timeout, EventListener* listener, void* userData);
  void removeTimer(unsigned id);
  void removeTimerListener(EventListener* listener, void* userData);
  void onTimer(IMsgEvent* event);

  // The tick count this manager's expiries are measured in.
  uint32_t now() const { return ticks_(); }

  // For tests and benchmarks.
  size_t pendingCount() const { return byId_.size(); }
  bool isArmed() const { return armed_; }
  uint32_t nextTime() const { return nextTime_; }
  HWND windowHandle() const { return window_ ? window_->getHandle() : nullptr; }

private:
  struct Entry {
    uint32_t expiry;
    Ref<EventListener> listener;
    void* userData;
    std::multimap<uint32_t, uint32_t>::iterator byExpiry;
  };
  explicit TimerManager(TickSource ticks);
  uint32_t newId();
  void erase(std::map<uint32_t, Entry>::iterator it);
  void arm(uint32_t delay);
  void disarm();

  TickSource ticks_;
  Ref<NullWindow> window_;
  std::map<uint32_t, Entry> byId_;
  std::multimap<uint32_t, uint32_t> byExpiry_;  // expiry -> id; equal keys in insertion order
  bool armed_ = false;
  uint32_t lastTime_;
  uint32_t nextTime_ = 0;
  uint32_t lastId_ = 0;
};

// The process-wide manager; the free functions do nothing (and the add returns
// -1) while it does not exist.
TimerManager* getTimerManager();
void setTimerManager(TimerManager* manager);
unsigned addTimerListener(unsigned timeout, EventListener* listener, void* userData);
void removeTimer(unsigned id);
void removeTimerListener(EventListener* listener, void* userData);
// The process-wide manager's tick count (the system's while there is none), so
// that code measuring time-outs against timers can be moved in step with them.
uint32_t timerTicks();
