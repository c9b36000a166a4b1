#include "support/runtime.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "base/timer.h"
#include "gui/handle.h"
#include "gui/nullwindow.h"

namespace test {

bool pumpUntil(const std::function<bool()>& done, unsigned timeoutMs) {
  DWORD start = GetTickCount();
  // A thread timer wakes the wait now and then so the deadline is seen.
  UINT_PTR waker = SetTimer(nullptr, 0, 20, nullptr);
  bool ok = false;
  while (true) {
    if (done()) { ok = true; break; }
    if (GetTickCount() - start > timeoutMs) break;
    if (getHandleManager()->runOnce() != -1) break;
  }
  KillTimer(nullptr, waker);
  return ok;
}

}  // namespace test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  setNullWindow(createNullWindow(nullptr, -1));
  setTimerManager(TimerManager::create());
  int result = RUN_ALL_TESTS();
  setTimerManager(nullptr);
  setNullWindow(nullptr);
  WSACleanup();
  return result;
}
