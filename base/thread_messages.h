#pragma once
// ThreadMessageDispatcher: thread messages (0x80C8..0x812C) delivered to the
// listeners that the receiving thread registered. Worker threads answer the
// GUI thread only through PostThreadMessageW.
//
//   getThreadMessageDispatcher()->addThreadMessageListener(listener, kFileDialogAnswer);

#include <windows.h>

#include <vector>

#include "base/event.h"
#include "base/thread.h"

class ThreadMessageEvent : public IMsgEvent {
public:
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class ThreadMessageDispatcher {
public:
  static constexpr UINT kFirstMessage = 0x80C8;
  static constexpr UINT kLastMessage = 0x812C;

  ThreadMessageDispatcher();
  // Registers listener on the calling thread; message -1 means all of them.
  void addThreadMessageListener(EventListener* listener, int message);
  // Offers the message to every registration of the calling thread, in order.
  // Listeners must not register from inside onEvent: the lock is not recursive.
  void dispatch(UINT message, WPARAM wParam, LPARAM lParam);

private:
  struct Registration {
    DWORD threadId;
    int message;
    Ref<EventListener> listener;
  };
  Ref<Mutex> mutex_;
  std::vector<Registration> registrations_;
};

ThreadMessageDispatcher* getThreadMessageDispatcher();
