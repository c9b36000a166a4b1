#include "base/thread_messages.h"

ThreadMessageDispatcher::ThreadMessageDispatcher() : mutex_(makeMutex()) {}

void ThreadMessageDispatcher::addThreadMessageListener(EventListener* listener, int message) {
  MutexLock held(*mutex_);
  registrations_.push_back({GetCurrentThreadId(), message, Ref<EventListener>(listener)});
}

void ThreadMessageDispatcher::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD tid = GetCurrentThreadId();
  MutexLock held(*mutex_);
  ThreadMessageEvent event;
  event.message = message;
  event.wParam = wParam;
  event.lParam = lParam;
  // Registrations are never removed, and only this thread's are called, so an
  // index walk over the list under the lock sees each one exactly once.
  for (size_t i = 0; i < registrations_.size(); ++i) {
    const Registration& r = registrations_[i];
    if (r.threadId != tid || (r.message != -1 && UINT(r.message) != message)) continue;
    Ref<EventListener> listener = r.listener;
    listener->onEvent(&event);
  }
}

ThreadMessageDispatcher* getThreadMessageDispatcher() {
  // Built on first use and kept to process exit.
  static ThreadMessageDispatcher* dispatcher = new ThreadMessageDispatcher();
  return dispatcher;
}
