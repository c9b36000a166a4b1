#include "service/bootp_packet.h"

#include <algorithm>
#include <cstring>

static_assert(offsetof(BootpPacket, xid) == 4);
static_assert(offsetof(BootpPacket, ciaddr) == 12);
static_assert(offsetof(BootpPacket, chaddr) == 28);
static_assert(offsetof(BootpPacket, sname) == 44);
static_assert(offsetof(BootpPacket, file) == 108);
static_assert(offsetof(BootpPacket, cookie) == 236);
static_assert(offsetof(BootpPacket, vend) == BootpPacket::kHeaderSize);
static_assert(offsetof(BootpPacket, received) == BootpPacket::kWireSize);

BootpPacket::BootpPacket() {
  std::memset(static_cast<void*>(this), 0, kWireSize);
  vend[0] = kEnd;
  received = kWireSize;
}

bool BootpPacket::assign(const void* data, size_t length) {
  if (length > kWireSize) return false;
  *this = BootpPacket();
  std::memcpy(static_cast<void*>(this), data, length);
  received = uint32_t(length);
  return true;
}

bool BootpPacket::isValidRequest() const {
  return received >= kHeaderSize && opcode == kRequest && htype == 1 && hlen == 6 && hops == 0 && ciaddr == 0;
}

size_t BootpPacket::walkLimit() const { return std::clamp<size_t>(received, kHeaderSize, kWireSize); }

namespace {

// One pass over the option area. Returns the offset of the first option with
// the wanted code (0 when absent); stop receives where the walk ended: just
// after the end code, or at the limit when there is none or an option runs past it.
size_t walkOptions(const uint8_t* p, size_t limit, int wanted, size_t* stop) {
  size_t pos = BootpPacket::kHeaderSize;
  while (pos < limit) {
    uint8_t code = p[pos];
    if (code == BootpPacket::kEnd) {
      *stop = pos + 1;
      return 0;
    }
    if (code == BootpPacket::kPad) {
      ++pos;
      continue;
    }
    if (pos + 2 > limit || pos + 2 + p[pos + 1] > limit) break;
    if (code == wanted) return pos;
    pos += 2 + p[pos + 1];
  }
  *stop = limit;
  return 0;
}

}  // namespace

std::string BootpPacket::option(uint8_t code) const {
  if (code == kPad || code == kEnd) return {};
  size_t stop;
  size_t at = walkOptions(bytes(), walkLimit(), code, &stop);
  if (at == 0) return {};
  return std::string(reinterpret_cast<const char*>(bytes() + at + 2), bytes()[at + 1]);
}

size_t BootpPacket::length() const {
  size_t stop;
  walkOptions(bytes(), walkLimit(), -1, &stop);
  return stop;
}

void BootpPacket::makeReply(uint32_t clientAddress, uint32_t serverAddress, std::string_view bootFile) {
  opcode = kReply;
  yiaddr = clientAddress;
  siaddr = serverAddress;
  // Like a bounded string copy: stops at a NUL, and a name of 128 bytes or more
  // fills the field with no terminator.
  bootFile = bootFile.substr(0, std::min(bootFile.find('\0'), sizeof file));
  std::memset(file, 0, sizeof file);
  std::memcpy(file, bootFile.data(), bootFile.size());
}
