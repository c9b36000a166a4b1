#include "base/timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/runtime.h"

namespace {

uint32_t gNow = 0;
uint32_t fakeTicks() { return gNow; }

// Records which timers fired, by their user data, and may run a hook inside onEvent.
class Recorder : public EventListener {
public:
  std::vector<std::string> fired;
  std::function<void(const std::string&)> inside;
  void onEvent(IMsgEvent* e) override {
    std::string name = static_cast<const char*>(static_cast<TimerEvent*>(e)->getUserData());
    fired.push_back(name);
    if (inside) inside(name);
  }
};

class TimerTest : public ::testing::Test {
public:
  void SetUp() override { start(1000); }
  void start(uint32_t now) {
    gNow = now;
    timers_ = TimerManager::create(fakeTicks);
    ASSERT_TRUE(timers_);
    rec_ = makeRef<Recorder>();
  }
  unsigned add(unsigned ms, const char* name) { return timers_->addTimerListener(ms, rec_.get(), (void*)name); }
  // What a WM_TIMER at the given time would do.
  void fireAt(uint32_t now) {
    gNow = now;
    timers_->onTimer(nullptr);
  }
  Ref<TimerManager> timers_;
  Ref<Recorder> rec_;
};

using Names = std::vector<std::string>;

TEST_F(TimerTest, FiresInExpiryOrderAndEqualExpiriesInTheOrderAdded) {
  add(300, "c");
  add(100, "a1");
  add(100, "a2");
  add(200, "b");
  fireAt(1100);
  EXPECT_EQ(rec_->fired, (Names{"a1", "a2"}));
  EXPECT_TRUE(timers_->isArmed());
  EXPECT_EQ(timers_->nextTime(), 1200u);
  fireAt(1350);
  EXPECT_EQ(rec_->fired, (Names{"a1", "a2", "b", "c"}));
  EXPECT_EQ(timers_->pendingCount(), 0u);
}

TEST_F(TimerTest, ATimerAddedInsideOnEventWithAShorterTimeoutIsArmedForIt) {
  add(100, "first");
  add(500, "late");
  rec_->inside = [&](const std::string& name) {
    if (name == "first") add(50, "inner");
  };
  fireAt(1100);
  EXPECT_EQ(rec_->fired, (Names{"first"}));
  EXPECT_TRUE(timers_->isArmed());
  EXPECT_EQ(timers_->nextTime(), 1150u);
  fireAt(1150);
  EXPECT_EQ(rec_->fired, (Names{"first", "inner"}));
  EXPECT_EQ(timers_->nextTime(), 1500u);
}

TEST_F(TimerTest, TimersBeyondTheTickWrapFireAfterTheOthersAndOnTime) {
  start(0xFFFFFF00u);
  add(0x200, "after-wrap");   // expires at 0x100
  add(0x80, "before-wrap");   // expires at 0xFFFFFF80
  fireAt(0xFFFFFF80u);
  EXPECT_EQ(rec_->fired, (Names{"before-wrap"}));
  fireAt(0xFFu);
  EXPECT_EQ(rec_->fired, (Names{"before-wrap"}));
  fireAt(0x100u);
  EXPECT_EQ(rec_->fired, (Names{"before-wrap", "after-wrap"}));
}

TEST_F(TimerTest, BothSidesOfTheWrapDueInOneCallFireInTimeOrder) {
  start(0xFFFFFF00u);
  add(0x200, "after-wrap");
  add(0x80, "before-wrap");
  fireAt(0x300u);
  EXPECT_EQ(rec_->fired, (Names{"before-wrap", "after-wrap"}));
}

TEST_F(TimerTest, RemovingCancels) {
  struct Case {
    const char* what;
    std::function<void(TimerTest&, Recorder* other)> remove;
    Names fired;
  };
  const Case cases[] = {
      {"by id", [](TimerTest& t, Recorder*) { t.timers_->removeTimer(t.add(10, "x")); }, {"a", "b", "o"}},
      {"listener, all user data",
       [](TimerTest& t, Recorder*) { t.timers_->removeTimerListener(t.rec_.get(), nullptr); }, {"o"}},
      {"listener, one user data",
       [](TimerTest& t, Recorder*) { t.timers_->removeTimerListener(t.rec_.get(), (void*)"a"); }, {"b", "o"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    start(1000);
    Ref<Recorder> other = makeRef<Recorder>();
    other->fired.clear();
    add(10, "a");
    add(20, "b");
    timers_->addTimerListener(30, other.get(), (void*)"o");
    c.remove(*this, other.get());
    fireAt(2000);
    Names all = rec_->fired;
    all.insert(all.end(), other->fired.begin(), other->fired.end());
    EXPECT_EQ(all, c.fired);
  }
}

TEST_F(TimerTest, RemovingAFiredIdLogsABugLineAndChangesNothing) {
  unsigned fired = add(10, "a");
  add(50, "b");
  fireAt(1010);
  test::LogCapture log;
  timers_->removeTimer(fired);
  EXPECT_TRUE(log.contains("BUG: removing timer by id that does not exist "));
  EXPECT_EQ(timers_->pendingCount(), 1u);
}

TEST_F(TimerTest, FarFutureTimerIsLoggedAndStillAdded) {
  test::LogCapture log;
  add(2000000001u, "far");
  EXPECT_TRUE(log.contains("TIMER: adding timer very far in future 2000000001"));
  EXPECT_EQ(timers_->pendingCount(), 1u);
}

TEST_F(TimerTest, IdsAreNeverZeroOrAllBits) {
  for (int i = 0; i < 100; ++i) {
    unsigned id = add(10, "x");
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, TimerManager::kNoTimer);
  }
}

// Through the real loop: WM_TIMER comes only when the queue is empty, so a 0 ms
// timer fires after the messages already posted.
TEST(TimerLoop, ZeroTimerFiresAfterQueuedMessages) {
  std::vector<std::string> order;
  class Note : public EventListener {
  public:
    Note(std::vector<std::string>& o, std::string n) : order(o), name(std::move(n)) {}
    void onEvent(IMsgEvent*) override { order.push_back(name); }
    std::vector<std::string>& order;
    std::string name;
  };
  NullWindow* window = getNullWindow();
  int message = window->allocateMessage(new Note(order, "message"));
  addTimerListener(0, new Note(order, "timer"), nullptr);
  for (int i = 0; i < 3; ++i) PostMessageW(window->getHandle(), UINT(message), 0, 0);
  EXPECT_TRUE(test::pumpUntil([&] { return order.size() == 4; }));
  window->unbindMessage(message);
  EXPECT_EQ(order, (std::vector<std::string>{"message", "message", "message", "timer"}));
}

TEST(TimerLoop, RealTimersFireNoEarlierThanAsked) {
  std::vector<std::string> fired;
  Ref<Recorder> rec = makeRef<Recorder>();
  DWORD start = GetTickCount();
  addTimerListener(60, rec.get(), (void*)"late");
  addTimerListener(20, rec.get(), (void*)"early");
  EXPECT_TRUE(test::pumpUntil([&] { return rec->fired.size() == 2; }, 3000));
  EXPECT_GE(GetTickCount() - start, 60u);
  EXPECT_EQ(rec->fired, (Names{"early", "late"}));
}

}  // namespace
