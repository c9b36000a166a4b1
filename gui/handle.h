#pragma once
// HandleManager watches waitable handles from the main loop; runOnce is one
// turn of that loop. The shell repeats it until it returns an exit code:
//
//   int code;
//   while ((code = getHandleManager()->runOnce()) == -1) {}

#include <windows.h>

#include <vector>

#include "base/event.h"

class HandleEvent : public IMsgEvent {
public:
  explicit HandleEvent(HANDLE handle) : handle(handle) {}
  HANDLE handle;
};

class HandleManager {
public:
  // Edits take effect at the end of the turn in which they were made.
  void add(HANDLE handle, EventListener* listener);
  void removeHandle(HANDLE handle);
  void removeListener(EventListener* listener);
  // -1 to go on, or the exit code carried by the quit message.
  int runOnce();

  size_t waitCount() const { return current_.size(); }

private:
  struct Watch {
    HANDLE handle;
    Ref<EventListener> listener;
  };
  void refresh();
  void handleMessage(MSG& msg);

  std::vector<Watch> current_;   // what the wait uses
  std::vector<HANDLE> waitArray_;
  std::vector<Watch> next_;      // what add and the removals edit
  bool changed_ = false;
};

HandleManager* getHandleManager();

// The widgets' keyboard-navigation and tooltip filters plug in here; each
// returns true when it consumed the message. Until they exist nothing is consumed.
using MessageFilter = bool (*)(MSG* msg);
void setKeyboardFilter(MessageFilter filter);
void setTooltipFilter(MessageFilter filter);
