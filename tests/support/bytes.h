#pragma once
// Byte strings written as hexadecimal in tests: "01 61 00 00" (spaces optional).

#include <cstdio>
#include <string>
#include <string_view>

namespace test {

inline std::string bytes(std::string_view hex) {
  std::string out;
  int high = -1;
  for (char c : hex) {
    int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out += char(high << 4 | v);
      high = -1;
    }
  }
  return out;
}

inline std::string hex(std::string_view data) {
  std::string out;
  char b[4];
  for (unsigned char c : data) {
    std::snprintf(b, sizeof b, out.empty() ? "%02x" : " %02x", c);
    out += b;
  }
  return out;
}

}  // namespace test
