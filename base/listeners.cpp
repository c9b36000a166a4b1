#include "base/listeners.h"

#include <algorithm>

ListenerList::~ListenerList() = default;

void ListenerList::add(EventListener* listener) {
  if (listener) entries_.emplace_back(listener);
}

void ListenerList::remove(EventListener* listener) {
  // Clearing the holder may destroy the listener; the entry keeps its place
  // until no delivery is walking the list.
  ++depth_;  // a listener's destructor may come back to this list
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].get() == listener) entries_[i].reset();
  if (--depth_ == 0) compact();
}

void ListenerList::deliver(IMsgEvent* event) {
  Ref<ListenerList> keep(this);  // a listener may drop the last outside reference
  ++depth_;
  // Listeners added during this delivery sit beyond `count` and are not told.
  const size_t count = entries_.size();
  for (size_t i = 0; i < count; ++i) {
    Ref<EventListener> listener = entries_[i];  // held across the call
    if (listener) listener->onEvent(event);
  }
  if (--depth_ == 0) compact();
}

bool ListenerList::contains(EventListener* listener) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const Ref<EventListener>& e) { return e.get() == listener; });
}

size_t ListenerList::size() const {
  return std::count_if(entries_.begin(), entries_.end(), [](const Ref<EventListener>& e) { return bool(e); });
}

void ListenerList::compact() {
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const Ref<EventListener>& e) { return !e; }),
                 entries_.end());
}
