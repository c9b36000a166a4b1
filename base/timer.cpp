#include "base/timer.h"

#include "base/log.h"

namespace {

uint32_t systemTicks() { return GetTickCount(); }

Ref<TimerManager> gTimerManager;

}  // namespace

TimerManager* TimerManager::create(TickSource ticks) {
  auto* manager = new TimerManager(ticks ? ticks : systemTicks);
  manager->window_ = createNullWindow(makeDelegate(manager, &TimerManager::onTimer), WM_TIMER);
  if (!manager->window_) {
    delete manager;
    return nullptr;
  }
  return manager;
}

TimerManager::TimerManager(TickSource ticks) : ticks_(ticks), lastTime_(ticks()) {}

TimerManager::~TimerManager() {
  disarm();
  // Pending timers go without events; the window takes its delegate with it.
}

uint32_t TimerManager::newId() {
  do {
    ++lastId_;
  } while (lastId_ == 0 || lastId_ == kNoTimer || byId_.count(lastId_));
  return lastId_;
}

void TimerManager::arm(uint32_t delay) {
  disarm();
  if (!SetTimer(windowHandle(), 0, delay, nullptr))
    nv::assertFailed("SetTimer(handle, 0, delta, NULL)", "void TimerManager::onTimer(IMsgEvent*)",
                     "base/timer.cpp", 99);
  armed_ = true;
}

void TimerManager::disarm() {
  if (armed_) KillTimer(windowHandle(), 0);
  armed_ = false;
}

unsigned TimerManager::addTimerListener(unsigned timeout, EventListener* listener, void* userData) {
  if (timeout > 2000000000u) nv::log << "TIMER: adding timer very far in future " << timeout << nv::endl;
  uint32_t now = ticks_();
  int32_t untilNext = int32_t(nextTime_ - now);
  uint32_t id = newId();
  uint32_t expiry = now + timeout;
  auto [it, inserted] = byId_.emplace(id, Entry{expiry, Ref<EventListener>(listener), userData, {}});
  it->second.byExpiry = byExpiry_.emplace(expiry, id);
  if (byId_.size() == 1 || (untilNext > 0 && int64_t(timeout) < untilNext)) {
    nextTime_ = expiry;
    if (armed_) KillTimer(windowHandle(), 0);
    if (!SetTimer(windowHandle(), 0, timeout, nullptr))
      nv::assertFailed("SetTimer(handle, 0, timeout, NULL)",
                       "unsigned int TimerManager::addTimerListener(unsigned int, EventListener*, void*)",
                       "base/timer.cpp", 143);
    armed_ = true;
  }
  return id;
}

void TimerManager::onTimer(IMsgEvent*) {
  disarm();
  const uint32_t now = ticks_();
  while (!byExpiry_.empty()) {
    // Walk the expiry order as a circle starting at the last expiry that
    // fired, so timers beyond the tick counter's wrap come after the others.
    auto candidate = byExpiry_.lower_bound(lastTime_);
    if (candidate == byExpiry_.end()) candidate = byExpiry_.begin();
    uint32_t expiry = candidate->first;
    if (int32_t(now - expiry) < 0) {
      nextTime_ = expiry;
      int32_t delay = int32_t(expiry - ticks_());
      arm(delay < 0 ? 0 : uint32_t(delay));
      return;
    }
    lastTime_ = expiry;
    auto entry = byId_.find(candidate->second);
    Ref<EventListener> listener = entry->second.listener;
    TimerEvent event(entry->second.userData);
    erase(entry);
    listener->onEvent(&event);
  }
}

void TimerManager::erase(std::map<uint32_t, Entry>::iterator it) {
  byExpiry_.erase(it->second.byExpiry);
  byId_.erase(it);
}

void TimerManager::removeTimer(unsigned id) {
  auto it = byId_.find(id);
  if (it != byId_.end()) {
    erase(it);
    return;
  }
  void* callers[2] = {nullptr, nullptr};
  CaptureStackBackTrace(1, 2, callers, nullptr);
  nv::log << "BUG: removing timer by id that does not exist " << nv::hex << id << " " << callers[0] << " "
          << callers[1] << nv::dec << nv::endl;
}

void TimerManager::removeTimerListener(EventListener* listener, void* userData) {
  for (auto it = byId_.begin(); it != byId_.end();) {
    auto next = std::next(it);
    if (it->second.listener.get() == listener && (!userData || it->second.userData == userData)) erase(it);
    it = next;
  }
}

TimerManager* getTimerManager() { return gTimerManager.get(); }
void setTimerManager(TimerManager* manager) { gTimerManager = manager; }

unsigned addTimerListener(unsigned timeout, EventListener* listener, void* userData) {
  if (!gTimerManager) {
    // Nobody will ever fire it; take and drop the caller's new listener.
    Ref<EventListener> dropped(listener);
    return TimerManager::kNoTimer;
  }
  return gTimerManager->addTimerListener(timeout, listener, userData);
}

void removeTimer(unsigned id) {
  if (gTimerManager) gTimerManager->removeTimer(id);
}

void removeTimerListener(EventListener* listener, void* userData) {
  if (gTimerManager) gTimerManager->removeTimerListener(listener, userData);
}

uint32_t timerTicks() { return gTimerManager ? gTimerManager->now() : systemTicks(); }
