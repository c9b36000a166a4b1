#include "base/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(Mutex, TryLockFailsAtOnceWhileHeldAndAnyThreadMayUnlock) {
  Ref<Mutex> m = makeMutex();
  m->lock();
  EXPECT_FALSE(m->tryLock());
  std::thread([&] { m->unlock(); }).join();
  EXPECT_TRUE(m->tryLock());
  m->unlock();
}

TEST(Mutex, IsNotRecursiveASecondLockWaitsForTheUnlock) {
  Ref<Mutex> m = makeMutex();
  m->lock();
  std::atomic<bool> got{false};
  std::thread waiter([&] {
    m->lock();  // the same lock again, as a re-entered caller would
    got = true;
    m->unlock();
  });
  Sleep(100);
  EXPECT_FALSE(got);
  m->unlock();
  waiter.join();
  EXPECT_TRUE(got);
}

TEST(MutexDeathTest, UnlockWithoutLockEndsTheProcess) {
  EXPECT_EXIT({ Ref<Mutex> m = makeMutex(); m->unlock(); }, ::testing::ExitedWithCode(3), "");
}

}  // namespace
