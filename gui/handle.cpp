#include "gui/handle.h"

#include "base/log.h"
#include "base/thread_messages.h"

namespace {

MessageFilter gKeyboardFilter = nullptr;
MessageFilter gTooltipFilter = nullptr;

}  // namespace

void setKeyboardFilter(MessageFilter filter) { gKeyboardFilter = filter; }
void setTooltipFilter(MessageFilter filter) { gTooltipFilter = filter; }

HandleManager* getHandleManager() {
  static HandleManager manager;
  return &manager;
}

void HandleManager::add(HANDLE handle, EventListener* listener) {
  if (!(next_.size() < MAXIMUM_WAIT_OBJECTS))
    nv::assertFailed("newHandles.size() < MAXIMUM_WAIT_OBJECTS", "void HandleManager::add(void*, EventListener*)",
                     "gui/handle.cpp", 11);
  next_.push_back({handle, Ref<EventListener>(listener)});
  changed_ = true;
}

void HandleManager::removeHandle(HANDLE handle) {
  std::erase_if(next_, [&](const Watch& w) { return w.handle == handle; });
  changed_ = true;
}

void HandleManager::removeListener(EventListener* listener) {
  std::erase_if(next_, [&](const Watch& w) { return w.listener.get() == listener; });
  changed_ = true;
}

void HandleManager::refresh() {
  current_ = next_;
  waitArray_.clear();
  for (const Watch& w : current_) waitArray_.push_back(w.handle);
  changed_ = false;
}

void HandleManager::handleMessage(MSG& msg) {
  // Only real thread messages (no window) go to the dispatcher: socket
  // notification numbers may fall inside its range too.
  if (!msg.hwnd && msg.message >= ThreadMessageDispatcher::kFirstMessage &&
      msg.message <= ThreadMessageDispatcher::kLastMessage)
    getThreadMessageDispatcher()->dispatch(msg.message, msg.wParam, msg.lParam);
  if (!(gKeyboardFilter && gKeyboardFilter(&msg))) {
    TranslateMessage(&msg);
    if (!(gTooltipFilter && gTooltipFilter(&msg))) DispatchMessageW(&msg);
  }
}

int HandleManager::runOnce() {
  DWORD count = DWORD(waitArray_.size());
  // With no handles to watch the wait only waits for input, which GetMessageW
  // does by itself; skipping it halves the round trips per message under Wine,
  // where each costs tens of microseconds (nothing here queues APCs, so the
  // alertable wait has nothing to run).
  DWORD r = count == 0 ? WAIT_OBJECT_0
                       : MsgWaitForMultipleObjectsEx(count, waitArray_.data(), INFINITE, QS_ALLINPUT,
                                                     MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
  if (r == WAIT_OBJECT_0 + count) {
    MSG msg;
    if (GetMessageW(&msg, nullptr, 0, 0) == 0) return int(msg.wParam);
    handleMessage(msg);
  } else if (r == WAIT_IO_COMPLETION) {
  } else if (r < WAIT_OBJECT_0 + count) {
    // Hold the listener: it may remove itself, and the refresh below drops it.
    Ref<EventListener> listener = current_[r].listener;
    HandleEvent event(current_[r].handle);
    listener->onEvent(&event);
  } else {
    nv::log << "MsgWaitForMultipleObjectsEx unexpected return: " << unsigned(r) << nv::endl;
  }
  if (changed_) refresh();
  return -1;
}
