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

namespace {

constexpr int kRuns = 5;

double now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

template <class F>
double medianMs(F&& f) {
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    double start = now();
    f();
    times.push_back(now() - start);
  }
  std::sort(times.begin(), times.end());
  return times[kRuns / 2];
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

  double start = now();
  const Bytes* base = baseText(1);
  double firstBase = now() - start;
  ByteSpan baseStream = loadBaseStream(1);
  double baseDecode = medianMs([&] {
    Bytes text;
    ByteReader in(baseStream);
    StreamHeader h;
    readStreamHeader(h, in);
    decodeStream(text, in, h);
  });
  std::printf("base stream %zu bytes -> base text %zu bytes; first decode %.1f ms, each further decode %.2f ms "
              "(now done once per process)\n",
              baseStream.size(), base ? base->size() : 0, firstBase, baseDecode);
  std::printf("%9s %9s %6s %11s %11s %11s %9s\n", "script", "stream", "cut", "encode ms", "verify ms",
              "total ms", "result");
  for (size_t kb : {1, 10, 100, 400}) {
    Bytes script = test::configScript(kb * 1000, uint32_t(kb));
    if (!dir.empty()) {
      std::ofstream(dir + "\\script-" + std::to_string(kb) + "k.txt", std::ios::binary)
          .write(reinterpret_cast<const char*>(script.data()), std::streamsize(script.size()));
    }
    Bytes stream = deltaOf(script);
    double encode = medianMs([&] { deltaOf(script); });
    double verify = medianMs([&] {
      Bytes out;
      decodeWhole(stream, out);
    });
    Bytes dest(script.size() + kStreamSlack);
    int32_t length = -1;
    double total = medianMs([&] { length = compressScript(dest.data(), dest.size(), script.data(), script.size()); });
    std::printf("%8zuK %9zu %6u %11.1f %11.1f %11.1f %9s\n", kb, stream.size(), unsigned(stream[2]), encode, verify,
                total, length > 0 ? "ok" : "refused");
  }
  return 0;
}
