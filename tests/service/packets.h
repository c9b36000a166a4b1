#pragma once
// Builders for the datagrams the protocol tests send and damage. Pure: used by
// the Windows tests and by the native sanitizer build alike.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace test {

using Bytes = std::vector<uint8_t>;

// Byte by byte: GCC 12's -Warray-bounds misreads vector range inserts here.
inline void append(Bytes& b, const std::string& s) {
  for (char c : s) b.push_back(uint8_t(c));
}
inline void append(Bytes& b, const Bytes& more) {
  for (uint8_t c : more) b.push_back(c);
}

// A device's request: Ethernet, no address yet, the given raw option bytes
// (end code included when wanted), padded with zeros to `padTo` bytes.
inline Bytes bootpRequest(const Bytes& options, size_t padTo = 0) {
  Bytes b(240, 0);
  b[0] = 1;
  b[1] = 1;
  b[2] = 6;
  b[4] = 0xDE, b[5] = 0xAD, b[6] = 0xBE, b[7] = 0xEF;  // xid
  b[10] = 0x80;                                        // flags: broadcast
  const uint8_t mac[6] = {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30};
  for (int i = 0; i < 6; ++i) b[28 + i] = mac[i];
  b[236] = 99, b[237] = 130, b[238] = 83, b[239] = 99;  // magic cookie
  append(b, options);
  if (b.size() < padTo) b.resize(padTo, 0);
  return b;
}

// One option: code, length, data.
inline Bytes opt(uint8_t code, const std::string& data) {
  Bytes b{code, uint8_t(data.size())};
  append(b, data);
  return b;
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) append(b, p);
  return b;
}

// What a provisioning device sends: vendor class, model, free space, end.
inline Bytes deviceOptions() {
  return cat({opt(60, "Flashboot"), opt(128, "X100"), opt(129, std::string("\x00\x10\x00\x00", 4)), {255}});
}

// A read request from strings that each get their NUL: rrq({"file", "octet", "tsize", "0"}).
inline Bytes rrq(std::initializer_list<std::string> fields, uint16_t opcode = 1) {
  Bytes b{uint8_t(opcode >> 8), uint8_t(opcode)};
  for (const std::string& f : fields) {
    append(b, f);
    b.push_back(0);
  }
  return b;
}

inline Bytes ack(uint16_t block) { return {0, 4, uint8_t(block >> 8), uint8_t(block)}; }

}  // namespace test
