#pragma once
// Scripts for the flash tests: configuration text of a given size in the
// devices' section syntax, different from the base text but of its kind.

#include <cstdint>
#include <cstdio>
#include <string>

#include "service/stream.h"

namespace test {

inline Bytes configScript(size_t size, uint32_t seed = 1) {
  static const char* const kinds[] = {"port", "vlan", "address", "route", "account", "task", "shaper"};
  static const char* const keys[] = {"description", "state", "mtu", "via", "distance", "group", "every",
                                     "download", "allowed-from", "note"};
  std::string text = "# provisioning script, generated for the flash tests\n\n";
  uint32_t x = seed;
  auto next = [&x] { return x = x * 1103515245u + 12345u, (x >> 16) & 0x7FFF; };
  char line[96];
  while (text.size() < size) {
    std::snprintf(line, sizeof line, "[%s site%u-%u]\n", kinds[next() % 7], next() % 40, next() % 100);
    text += line;
    for (uint32_t k = 0, n = 2 + next() % 4; k < n; ++k) {
      std::snprintf(line, sizeof line, "    %-16s10.%u.%u.%u/%u\n", keys[next() % 10], next() % 250, next() % 250,
                    next() % 250, 16 + next() % 15);
      text += line;
    }
    text += "\n";
  }
  text.resize(size);
  return Bytes(text.begin(), text.end());
}

}  // namespace test
