#pragma once
// Under AddressSanitizer, marks the bytes of a BootpPacket beyond what came off
// the wire as unreadable, so a walk that strays past the datagram stops the
// test even though the packet's own storage continues. Elsewhere it does nothing.

#include "service/bootp_packet.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define VOSK_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define VOSK_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define VOSK_POISON(p, n) ((void)(p), (void)(n))
#define VOSK_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace test {

class PoisonBeyondReceived {
public:
  explicit PoisonBeyondReceived(BootpPacket& p)
      : at_(p.bytes() + p.received), size_(BootpPacket::kWireSize - p.received) {
    VOSK_POISON(at_, size_);
  }
  ~PoisonBeyondReceived() { VOSK_UNPOISON(at_, size_); }
  PoisonBeyondReceived(const PoisonBeyondReceived&) = delete;
  PoisonBeyondReceived& operator=(const PoisonBeyondReceived&) = delete;

private:
  const uint8_t* at_;
  size_t size_;
};

}  // namespace test
