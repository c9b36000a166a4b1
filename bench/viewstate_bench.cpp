// Load and save of a large view-state file, and the cost of one lookup in a
// message as it grows. Prints figures; run by hand:
//   scripts/wine-run build/win/viewstate_bench.exe
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "app/files.h"
#include "base/text.h"
#include "common/message.h"
#include "common/record_stream.h"
#include "gui/persist.h"
#include "bench/stopwatch.h"

namespace {

constexpr uint32_t kMessages = 10000;
constexpr int kEntries = 20;
const char* const kName = "viewstate-bench";


double mib(SIZE_T bytes) { return double(bytes) / (1024.0 * 1024.0); }

PROCESS_MEMORY_COUNTERS memory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters;
}

// Twenty entries of the kinds the application stores: numbers, flags, text,
// lists and a nested message.
Message sampleMessage(uint32_t id) {
  Message m;
  m.at("id") = u32Value(id);
  for (int i = 0; i < 8; ++i) m.at("field-" + std::to_string(i)) = u32Value(id * 31 + i);
  for (int i = 0; i < 3; ++i) m.at("flag-" + std::to_string(i)) = boolValue((id + i) & 1);
  for (int i = 0; i < 4; ++i) m.at("text-" + std::to_string(i)) = "C:\\scripts\\device-" + std::to_string(id) + ".txt";
  m.at("table-column-widths") = u32ListValue({80, 120, 40, 60, 200});
  m.at("table-sort-order") = u32ListValue({2, 0});
  m.at("files") = stringListValue({"C:\\a.txt", "C:\\b.nsc"});
  Message nested;
  nested.at("table-vscroll-pos") = u32Value(id);
  nested.at("table-hscroll-pos") = u32Value(0);
  m.at("window-placement") = nested.toBytes();
  return m;
}

// Written one message at a time, so that making the file does not raise the
// peak memory the load and save are measured by.
size_t writeSampleFile(const std::string& path) {
  FILE* file = _wfopen(toWide(path).c_str(), L"wb");
  if (!file) return 0;
  FileSink sink(file);
  size_t total = 0;
  for (uint32_t id = 0; id < kMessages; ++id) total += sampleMessage(id).writeRecords(sink);
  fclose(file);
  return total;
}

void benchLoadSave() {
  const std::string path = tempPath() + "/" + kName + ".viw";
  size_t size = writeSampleFile(path);
  std::printf("view-state file: %u messages x %d entries, %zu bytes\n", unsigned(kMessages), kEntries, size);
  PROCESS_MEMORY_COUNTERS before = memory();

  std::vector<double> loads, saves;
  for (int round = 0; round < 5; ++round) {
    double t0 = nowMs();
    loadViewState(kName);
    double t1 = nowMs();
    bool saved = saveViewState();
    double t2 = nowMs();
    if (!saved || viewStateStore().records().size() != kMessages) {
      std::printf("FAILED: saved %d, %zu records\n", int(saved), viewStateStore().records().size());
      return;
    }
    loads.push_back(t1 - t0);
    saves.push_back(t2 - t1);
  }
  PROCESS_MEMORY_COUNTERS after = memory();
  std::sort(loads.begin(), loads.end());
  std::sort(saves.begin(), saves.end());
  std::printf("load: median %.1f ms (min %.1f, max %.1f)\n", loads[2], loads[0], loads[4]);
  std::printf("save: median %.1f ms (min %.1f, max %.1f)\n", saves[2], saves[0], saves[4]);
  std::printf("load + save: median %.1f ms\n", loads[2] + saves[2]);
  std::printf("peak working set: %.1f MiB before loading, %.1f MiB after (%.1f MiB for the records)\n",
              mib(before.PeakWorkingSetSize), mib(after.PeakWorkingSetSize),
              mib(after.PeakWorkingSetSize - before.PeakWorkingSetSize));
  std::printf("peak private bytes: %.1f MiB before loading, %.1f MiB after\n", mib(before.PeakPagefileUsage),
              mib(after.PeakPagefileUsage));
  deleteFile(path);
}

void benchLookups() {
  std::printf("lookups in one message (ns per call, random existing keys):\n");
  std::printf("%10s %12s %12s\n", "entries", "getU32", "find");
  std::mt19937 rng(1);
  for (uint32_t n : {100u, 1000u, 10000u, 100000u}) {
    Message m;
    std::vector<std::string> keys;
    for (uint32_t i = 0; i < n; ++i) {
      keys.push_back("field-" + std::to_string(i));
      m.at(keys.back()) = u32Value(i);
    }
    std::vector<const std::string*> order;
    for (int i = 0; i < 1 << 20; ++i) order.push_back(&keys[rng() % n]);
    uint64_t sum = 0;
    double t0 = nowMs();
    for (const std::string* key : order) sum += m.getU32(*key, 0);
    double t1 = nowMs();
    for (const std::string* key : order) sum += m.find(*key)->size();
    double t2 = nowMs();
    double perCall = 1e6 / double(order.size());
    std::printf("%10u %12.1f %12.1f   (checksum %llu)\n", unsigned(n), (t1 - t0) * perCall, (t2 - t1) * perCall,
                (unsigned long long)sum);
  }
}

}  // namespace

int main() {
  benchLoadSave();
  benchLookups();
  return 0;
}
