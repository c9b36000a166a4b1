// Prints the cost of the timer service with many pending timers and the rate
// at which one turn of the main loop dispatches messages through a NullWindow.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <vector>

#include "base/timer.h"
#include "gui/handle.h"
#include "gui/nullwindow.h"
#include "bench/stopwatch.h"

namespace {


class Nothing : public EventListener {
public:
  void onEvent(IMsgEvent*) override { ++count; }
  long count = 0;
};

void timerFigures(int pending) {
  Ref<TimerManager> timers = TimerManager::create();
  Ref<Nothing> listener = makeRef<Nothing>();
  std::vector<unsigned> ids(pending);
  double t0 = nowSeconds();
  for (int i = 0; i < pending; ++i) ids[i] = timers->addTimerListener(60000 + (i * 7919) % 100000, listener.get(), nullptr);
  double t1 = nowSeconds();
  // With all of them pending, add and remove one more many times.
  const int churn = 100000;
  for (int i = 0; i < churn; ++i) timers->removeTimer(timers->addTimerListener(30000 + i % 5000, listener.get(), nullptr));
  double t2 = nowSeconds();
  for (int i = 0; i < pending; ++i) timers->removeTimer(ids[i]);
  double t3 = nowSeconds();
  std::printf("timers: %d pending: addTimerListener %.3f us each, add+remove with all pending %.3f us, "
              "removeTimer %.3f us each\n",
              pending, (t1 - t0) * 1e6 / pending, (t2 - t1) * 1e6 / churn, (t3 - t2) * 1e6 / pending);
}

void dispatchFigures(int messages) {
  NullWindow* window = getNullWindow();
  Ref<Nothing> listener = makeRef<Nothing>();
  int number = window->allocateMessage(listener.get());
  // Post in batches so the queue's limit (10,000 per thread) is never reached.
  const int batch = 5000;
  double t0 = nowSeconds();
  for (int sent = 0; sent < messages; sent += batch) {
    for (int i = 0; i < batch; ++i) PostMessageW(window->getHandle(), UINT(number), 0, 0);
    while (listener->count < sent + batch) getHandleManager()->runOnce();
  }
  double t1 = nowSeconds();
  window->unbindMessage(number);
  std::printf("runOnce: %d messages through NullWindow in %.3f s: %.0f messages/s\n", messages, t1 - t0,
              messages / (t1 - t0));
}

}  // namespace

int main() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  setNullWindow(createNullWindow(nullptr, -1));
  timerFigures(1000);
  timerFigures(100000);
  dispatchFigures(200000);
  setNullWindow(nullptr);
  return 0;
}
