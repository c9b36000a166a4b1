#pragma once
// The benchmarks' clock: the performance counter, in milliseconds.

#include <windows.h>

inline double nowMs() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(f.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) / ticksPerMs;
}

inline double nowSeconds() { return nowMs() / 1000.0; }
