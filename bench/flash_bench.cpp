// Times compressScript for configuration scripts of 1, 10, 100 and 400 KB, and
// its parts: the one-time decode of the base stream, the delta encode, and
// the verification decode. With a directory argument it also writes each
// script there (script-<size>.txt) so bench/flash_bench.sh can time the same
// LZMA settings natively over base text + script.
//
//   flash_bench.exe [Z:\dir]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "service/base_stream.h"
#include "service/flash.h"
#include "service/stream.h"
#include "tests/service/script_text.h"
#include "bench/stopwatch.h"

namespace {

constexpr int kRuns = 5;


struct Timing {
  double median;
  double fastest;
};

// Other work on the machine only ever adds time: the fastest run is the cost.
template <class F>
Timing timeMs(F&& f) {
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    double start = nowMs();
    f();
    times.push_back(nowMs() - start);
  }
  std::sort(times.begin(), times.end());
  return {times[kRuns / 2], times[0]};
}

Bytes deltaOf(const Bytes& script) {
  StreamHeader h;
  h.isDelta = true;
  h.baseIndex = 1;
  Bytes out;
  ByteReader in(script);
  encodeStream(out, in, h);
  return out;
}

bool decodeWhole(const Bytes& stream, Bytes& out) {
  ByteReader in(stream);
  StreamHeader h;
  return readStreamHeader(h, in) && decodeStream(out, in, h);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : "";

  double start = nowMs();
  const Bytes* base = baseText(1);
  double firstBase = nowMs() - start;
  ByteSpan baseStream = loadBaseStream(1);
  Timing baseDecode = timeMs([&] {
    Bytes text;
    ByteReader in(baseStream);
    StreamHeader h;
    readStreamHeader(h, in);
    decodeStream(text, in, h);
  });
  std::printf("base stream %zu bytes -> base text %zu bytes; first decode %.1f ms, each further decode %.2f ms "
              "(now done once per process)\n",
              baseStream.size(), base ? base->size() : 0, firstBase, baseDecode.fastest);
  std::printf("times in ms, fastest of %d (median)\n", kRuns);
  std::printf("%7s %7s %4s %15s %13s %15s %8s\n", "script", "stream", "cut", "encode", "verify", "compressScript",
              "result");
  for (size_t kb : {1, 10, 100, 400}) {
    Bytes script = test::configScript(kb * 1000, uint32_t(kb));
    if (!dir.empty()) {
      std::ofstream(dir + "\\script-" + std::to_string(kb) + "k.txt", std::ios::binary)
          .write(reinterpret_cast<const char*>(script.data()), std::streamsize(script.size()));
    }
    Bytes stream = deltaOf(script);
    Timing encode = timeMs([&] { deltaOf(script); });
    Timing verify = timeMs([&] {
      Bytes out;
      decodeWhole(stream, out);
    });
    Bytes dest(script.size() + kStreamSlack);
    int32_t length = -1;
    Timing total = timeMs([&] { length = compressScript(dest.data(), dest.size(), script.data(), script.size()); });
    std::printf("%6zuK %7zu %4u %7.1f (%5.1f) %5.1f (%5.1f) %7.1f (%5.1f) %8s\n", kb, stream.size(),
                unsigned(stream[2]), encode.fastest, encode.median, verify.fastest, verify.median, total.fastest,
                total.median, length > 0 ? "ok" : "refused");
  }
  return 0;
}
