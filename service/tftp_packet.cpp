#include "service/tftp_packet.h"

#include <cstdio>
#include <cstring>

namespace tftp {

namespace {

uint16_t read16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

void write16(uint8_t* p, uint32_t value) {
  p[0] = uint8_t(value >> 8);
  p[1] = uint8_t(value);
}

// Hands out NUL-terminated strings from a datagram and refuses to read past its end.
class StringReader {
public:
  StringReader(const uint8_t* at, const uint8_t* end) : at_(at), end_(end) {}
  bool atEnd() const { return at_ == end_; }
  bool next(std::string* out) {
    const void* nul = std::memchr(at_, 0, size_t(end_ - at_));
    if (!nul) return false;
    const uint8_t* stop = static_cast<const uint8_t*>(nul);
    out->assign(reinterpret_cast<const char*>(at_), size_t(stop - at_));
    at_ = stop + 1;
    return true;
  }

private:
  const uint8_t* at_;
  const uint8_t* end_;
};

bool equalsIgnoringCase(const std::string& text, const char* word) {
  size_t n = std::strlen(word);
  if (text.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return true;
}

}  // namespace

bool parseReadRequest(const uint8_t* data, size_t length, ReadRequest* request) {
  if (length <= 3 || read16(data) != kRrq) return false;
  StringReader reader(data + 2, data + length);
  ReadRequest parsed;
  if (!reader.next(&parsed.fileName) || !reader.next(&parsed.mode)) return false;
  while (!reader.atEnd()) {
    Option option;
    if (!reader.next(&option.name) || !reader.next(&option.value)) return false;
    if (!parsed.tsize && equalsIgnoringCase(option.name, "tsize"))
      parsed.tsize = true;
    else
      parsed.others.push_back(std::move(option));
  }
  *request = std::move(parsed);
  return true;
}

Ack classifyAck(const uint8_t* data, size_t length, uint32_t blockNumber) {
  if (length != 4 || read16(data) != kAck) return Ack::Bad;
  uint16_t block = read16(data + 2);
  if (block == uint16_t(blockNumber)) return Ack::Current;
  if (block == uint16_t(blockNumber - 1)) return Ack::Previous;
  return Ack::Bad;
}

size_t writeData(uint8_t* out, uint32_t blockNumber, const uint8_t* data, size_t length) {
  if (length > kBlockSize) length = kBlockSize;
  write16(out, kData);
  write16(out + 2, blockNumber & 0xFFFF);
  if (length) std::memcpy(out + kHeaderSize, data, length);
  return kHeaderSize + length;
}

size_t writeOptionAck(uint8_t* out, uint64_t dataSize) {
  write16(out, kOack);
  if (dataSize == 0) return 2;
  static const char kName[] = "tsize";
  std::memcpy(out + 2, kName, sizeof kName);
  size_t at = 2 + sizeof kName;
  int digits = std::snprintf(reinterpret_cast<char*>(out + at), kMaxPacket - at, "%llu",
                             static_cast<unsigned long long>(dataSize));
  return at + size_t(digits) + 1;
}

}  // namespace tftp
