// The message log under a long run: 1,000,000 lines with the table's
// enumerator and a listener attached, as the main window has them.
// Prints the time per addMessage, the memory per line, and the cost per step
// of walking the lines in id order at three sizes (flat means linear).

#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/messagelog.h"
#include "base/timer.h"
#include "gui/nullwindow.h"
#include "bench/stopwatch.h"

// Live heap bytes of everything allocated with new while counting is on, so
// the memory figure shows what the log keeps apart from the heap's overhead.
// Timed rounds run with counting off.
static bool gCounting = false;
static size_t gLive = 0;
void* operator new(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) std::abort();
  if (gCounting) gLive += _msize(p);
  return p;
}
static void freeCounted(void* p) {
  if (!p) return;
  if (gCounting) gLive -= _msize(p);
  std::free(p);
}
void operator delete(void* p) noexcept { freeCounted(p); }
void operator delete(void* p, size_t) noexcept { freeCounted(p); }

namespace {


// Committed memory of the process: what the heap took from the system,
// its overhead included.
size_t committedBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PagefileUsage;
}

class Counter : public EventListener {
public:
  void onEvent(IMsgEvent*) override { ++events; }
  size_t events = 0;
};

// A device line as the service writes it, different for every device:
// "00:1A:2B:xx:xx:xx -- QV1234: Tamselged".
struct DeviceLine {
  char text[40] = "00:1A:2B:00:00:00 -- QV1234: Tamselged";
  void set(uint32_t n) {
    static const char hex[] = "0123456789ABCDEF";
    for (int i = 0; i < 3; ++i) {
      uint8_t b = uint8_t(n >> (16 - 8 * i));
      text[9 + 3 * i] = hex[b >> 4];
      text[10 + 3 * i] = hex[b & 15];
    }
  }
};

double walkNsPerStep(MessageTable* log, size_t steps) {
  IEnum* rows = log->rows();
  double start = nowSeconds();
  size_t walked = 0;
  IObject* object = rows->getObject(1);
  while (object && walked < steps) {
    ++walked;
    object = rows->getObject(rows->getNextId(object));
  }
  return (nowSeconds() - start) * 1e9 / double(walked);
}

double iterateNsPerStep(MessageTable* log) {
  double start = nowSeconds();
  size_t walked = 0;
  Ref<IIterator> it = log->rows()->createIterator();
  while (it->next()) ++walked;
  return (nowSeconds() - start) * 1e9 / double(walked);
}

constexpr uint32_t kLines = 1000000;

// A log as the main window has it: the table's enumerator and a listener on it.
struct Setup {
  Ref<MessageTable> log = makeRef<MessageTable>(makeRef<MessageMap>().get());
  Ref<Counter> listener = makeRef<Counter>();
  Setup() {
    log->rows()->getListeners()->add(listener.get());
    log->addMessage("Hello");
  }
  ~Setup() { log->rows()->getListeners()->remove(listener.get()); }
  // Seconds spent adding kLines different device lines.
  double addLines() {
    DeviceLine line;
    double start = nowSeconds();
    for (uint32_t i = 0; i < kLines; ++i) line.set(i);
    const double formatting = nowSeconds() - start;
    start = nowSeconds();
    for (uint32_t i = 0; i < kLines; ++i) {
      line.set(i);
      log->addMessage(line.text);
    }
    return nowSeconds() - start - formatting;
  }
};

void timeRounds() {
  for (int round = 1; round <= 3; ++round) {
    Setup s;
    const double adding = s.addLines();
    const double start = nowSeconds();
    for (uint32_t i = 0; i < kLines; ++i) s.log->addMessage("no TFTP request");
    const double repeating = nowSeconds() - start;
    std::printf("round %d: addMessage %.3f us per new line, %.3f us per repeat (%zu lines, %zu events heard)\n",
                round, adding * 1e6 / kLines, repeating * 1e6 / kLines, s.log->map()->size(), s.listener->events);
  }
}

void measureMemoryAndWalks() {
  const size_t committedBefore = committedBytes();
  gCounting = true;
  Setup s;
  const double adding = s.addLines();
  gCounting = false;
  const size_t committed = committedBytes() - committedBefore;
  std::printf("memory per line: %.1f bytes committed, %.1f bytes of live heap blocks\n",
              double(committed) / kLines, double(gLive) / kLines);
  std::printf("addMessage into fresh memory (heap counting on): %.3f us per new line\n", adding * 1e6 / kLines);

  std::printf("walk in id order (getNextId + getObject), ns per step:\n");
  for (size_t steps : {250000u, 500000u, 1000000u})
    std::printf("  %7zu lines: %.1f\n", steps, walkNsPerStep(s.log.get(), steps));
  std::printf("walk with an iterator, all lines: %.1f ns per step\n", iterateNsPerStep(s.log.get()));
}

}  // namespace

int main() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  setNullWindow(createNullWindow(nullptr, -1));
  setTimerManager(TimerManager::create());

  measureMemoryAndWalks();  // first, while the heap has nothing freed to reuse
  timeRounds();

  setTimerManager(nullptr);
  setNullWindow(nullptr);
  WSACleanup();
  return 0;
}
