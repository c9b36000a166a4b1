#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/thread_messages.h"
#include "gui/handle.h"
#include "gui/nullwindow.h"
#include "support/runtime.h"

namespace {

// Counts events and remembers the last one's fields.
class Counter : public EventListener {
public:
  explicit Counter(std::vector<int>* order = nullptr, int tag = 0) : order_(order), tag_(tag) {}
  void onEvent(IMsgEvent* e) override {
    ++calls;
    if (auto* m = dynamic_cast<ThreadMessageEvent*>(e)) lastWParam = m->wParam;
    if (auto* h = dynamic_cast<HandleEvent*>(e)) lastHandle = h->handle;
    if (order_) order_->push_back(tag_);
    if (onCall) onCall();
  }
  int calls = 0;
  WPARAM lastWParam = 0;
  HANDLE lastHandle = nullptr;
  std::function<void()> onCall;

private:
  std::vector<int>* order_;
  int tag_;
};

TEST(NullWindow, MessageNumbersComeFromTheAllocatorAndReturnOnlyAfterTheWrap) {
  Ref<NullWindow> w = createNullWindow(nullptr, -1);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->allocateMessage(new Counter), 0x8014);
  EXPECT_EQ(w->allocateMessage(new Counter), 0x8015);
  w->unbindMessage(0x8014);
  EXPECT_EQ(w->allocateMessage(new Counter), 0x8016);
  EXPECT_EQ(w->allocateMessage(new Counter), 0x8017);
}

TEST(NullWindow, BoundMessagesReachTheirListenerAndNothingGetsDefaultProcessing) {
  Ref<NullWindow> w = createNullWindow(nullptr, -1);
  Ref<Counter> c = makeRef<Counter>();
  int n = w->allocateMessage(c.get());
  SendMessageW(w->getHandle(), UINT(n), 0, 0);
  EXPECT_EQ(c->calls, 1);
  // Unbound and system messages are swallowed: WM_SETTEXT does not set the text.
  EXPECT_EQ(SendMessageW(w->getHandle(), WM_SETTEXT, 0, LPARAM(L"abc")), 0);
  EXPECT_EQ(GetWindowTextLengthW(w->getHandle()), 0);
}

TEST(NullWindow, AFilteredWindowPassesOtherMessagesToTheDefault) {
  Ref<Counter> c = makeRef<Counter>();
  Ref<NullWindow> w = createNullWindow(c.get(), WM_TIMER);
  SendMessageW(w->getHandle(), WM_SETTEXT, 0, LPARAM(L"abc"));
  EXPECT_EQ(GetWindowTextLengthW(w->getHandle()), 3);
  EXPECT_EQ(c->calls, 0);
  SendMessageW(w->getHandle(), WM_TIMER, 0, 0);
  EXPECT_EQ(c->calls, 1);
}

TEST(MainLoop, AHandleSignalledFromAnotherThreadReachesItsListener) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  Ref<Counter> c = makeRef<Counter>();
  HandleManager* hm = getHandleManager();
  hm->add(event, c.get());
  // Edits apply at the end of a turn; a posted message makes that turn happen.
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
  ASSERT_TRUE(test::pumpUntil([&] { return hm->waitCount() == 1; }));
  c->onCall = [&] { hm->removeHandle(event); };
  std::thread([event] { Sleep(20); SetEvent(event); }).join();
  ASSERT_TRUE(test::pumpUntil([&] { return c->calls == 1; }));
  EXPECT_EQ(c->lastHandle, event);
  // The listener removed its own handle: from the next turn it is not watched.
  EXPECT_EQ(hm->waitCount(), 0u);
  CloseHandle(event);
}

TEST(MainLoop, ThreadMessagesReachOnlyTheRegistrationsOfTheirThreadInOrder) {
  std::vector<int> order;
  Ref<Counter> exact = makeRef<Counter>(&order, 1);
  Ref<Counter> all = makeRef<Counter>(&order, 2);
  Ref<Counter> other = makeRef<Counter>(&order, 3);
  Ref<Counter> wrongNumber = makeRef<Counter>(&order, 4);
  ThreadMessageDispatcher* d = getThreadMessageDispatcher();
  d->addThreadMessageListener(exact.get(), 0x80C8);
  d->addThreadMessageListener(wrongNumber.get(), 0x80C9);
  d->addThreadMessageListener(all.get(), -1);
  DWORD mainThread = GetCurrentThreadId();
  std::thread([&] {
    d->addThreadMessageListener(other.get(), 0x80C8);
    PostThreadMessageW(mainThread, 0x80C8, 77, 0);
  }).join();
  ASSERT_TRUE(test::pumpUntil([&] { return order.size() >= 2; }));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  EXPECT_EQ(exact->lastWParam, 77u);
  EXPECT_EQ(other->calls, 0);
}

TEST(MainLoop, AWindowMessageNumberedInTheThreadRangeReachesOnlyItsWindow) {
  // Socket notification numbers come from 0x8014..0xBFFF, which covers the
  // thread-message range; such a message must not reach thread listeners.
  Ref<Counter> threadListener = makeRef<Counter>();
  getThreadMessageDispatcher()->addThreadMessageListener(threadListener.get(), 0x80D0);
  Ref<NullWindow> w = createNullWindow(nullptr, -1);
  Ref<Counter> bound = makeRef<Counter>();
  w->bindMessage(0x80D0, bound.get());
  PostMessageW(w->getHandle(), 0x80D0, 0, 0);
  ASSERT_TRUE(test::pumpUntil([&] { return bound->calls == 1; }));
  EXPECT_EQ(threadListener->calls, 0);
}

TEST(MainLoop, QuitMessageEndsTheLoopWithItsCode) {
  PostQuitMessage(7);
  int code = -1;
  for (int turns = 0; turns < 1000 && code == -1; ++turns) code = getHandleManager()->runOnce();
  EXPECT_EQ(code, 7);
}

}  // namespace
