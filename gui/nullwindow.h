#pragma once
// NullWindow: a hidden window whose messages become events. The process-wide
// instance carries socket notifications: a socket owner asks allocateMessage
// for a message number bound to its delegate and hands that number to Winsock.
//
//   int n = getNullWindow()->allocateMessage(makeDelegate(this, &Owner::onNotify));
//   WSAAsyncSelect(sock, getNullWindow()->getHandle(), n, FD_READ);
//   ...
//   getNullWindow()->unbindMessage(n);

#include <windows.h>

#include <map>

#include "base/alloc.h"
#include "base/event.h"

class NullWindow;

class MessageEvent : public IMsgEvent {
public:
  NullWindow* source = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class NullWindow : public RefCounted<> {
public:
  static constexpr uint32_t kFirstMessage = 0x8014;
  static constexpr uint32_t kLastMessage = 0xBFFF;

  ~NullWindow() override;

  // A message number bound to listener, or -1 when every number is in use.
  virtual int allocateMessage(EventListener* listener);
  // Binds a number of the caller's choice, replacing an earlier listener.
  virtual int bindMessage(int message, EventListener* listener);
  virtual void unbindMessage(int message);
  virtual HWND getHandle() { return hwnd_; }

private:
  friend NullWindow* createNullWindow(EventListener* catchAll, int filter);
  friend LRESULT CALLBACK nullWindowProc(HWND, UINT, WPARAM, LPARAM);
  NullWindow(HWND hwnd, EventListener* catchAll, int filter);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_;                      // owned: destroyed with the object
  Ref<EventListener> catchAll_;
  int filter_;                     // a message number, or -1 for all
  MessageEvent event_;
  nv::Allocator numbers_{kFirstMessage, kLastMessage};
  std::map<int, Ref<EventListener>> bindings_;
};

// A new NullWindow with count 0, or null when the window cannot be created.
NullWindow* createNullWindow(EventListener* catchAll, int filter);

// The process-wide instance (null before start-up and after shutdown).
NullWindow* getNullWindow();
// Start-up creates it, shutdown releases it.
void setNullWindow(NullWindow* window);
