#pragma once
// ListenerList: the listeners of one event source, told in registration order.
//
//   Ref<ListenerList> listeners = makeRef<ListenerList>();
//   listeners->add(delegate);          // the list holds the delegate
//   listeners->deliver(&event);        // each listener once, in order
//
// Listeners may add and remove listeners (themselves included) from inside
// onEvent: one that is removed is not called afterwards, one that is added
// waits for the next event. Deliveries may nest.

#include <vector>

#include "base/event.h"

class ListenerList : public RefCounted<> {
public:
  ~ListenerList() override;
  void add(EventListener* listener);
  // Removes every registration of the listener.
  void remove(EventListener* listener);
  void deliver(IMsgEvent* event);

  bool contains(EventListener* listener) const;
  size_t size() const;

private:
  void compact();

  // A removed entry is only emptied while a delivery runs, so that the indices
  // the running deliveries walk stay valid; compact() drops it afterwards.
  std::vector<Ref<EventListener>> entries_;
  int depth_ = 0;
};
