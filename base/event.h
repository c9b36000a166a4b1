#pragma once
// The event model: sources raise IMsgEvents to EventListeners on the GUI thread.
// A Delegate binds a member function of an object as a listener:
//
//   timers->addTimerListener(200, makeDelegate(this, &Transfer::onTimer), nullptr);
//
// The delegate does not count a reference on its target; the source holds the
// delegate, and the target unregisters it before going away.

#include "base/ibase.h"

class IMsgEvent {
public:
  virtual ~IMsgEvent() = default;
};

class EventListener : public RefCounted<> {
public:
  virtual void onEvent(IMsgEvent* event) = 0;
};

template <class Target>
class Delegate : public EventListener {
public:
  using Handler = void (Target::*)(IMsgEvent*);
  Delegate(Target* target, Handler handler) : target_(target), handler_(handler) {}
  void onEvent(IMsgEvent* event) override { (target_->*handler_)(event); }

private:
  Target* target_;  // borrowed: the target outlives its registrations
  Handler handler_;
};

template <class Target>
Delegate<Target>* makeDelegate(Target* target, void (Target::*handler)(IMsgEvent*)) {
  return new Delegate<Target>(target, handler);
}
