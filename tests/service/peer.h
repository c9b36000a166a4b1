#pragma once
// The other end of a loopback conversation: a plain Winsock UDP socket on
// 127.0.0.1 that the tests drive by hand while the real main loop turns, so the
// code under test sees its datagrams through its own notifications.

#include <winsock2.h>

#include <string>

#include "support/runtime.h"

namespace test {

class Peer {
public:
  static constexpr uint32_t kLoopback = 0x0100007F;  // 127.0.0.1, network order

  Peer() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = kLoopback;
    ::bind(socket_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    int size = sizeof sa;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&sa), &size);
    port_ = ntohs(sa.sin_port);
    u_long nonBlocking = 1;
    ioctlsocket(socket_, FIONBIO, &nonBlocking);
  }
  ~Peer() { closesocket(socket_); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  uint16_t port() const { return port_; }

  void sendTo(uint16_t port, const void* data, size_t length) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = kLoopback;
    sa.sin_port = htons(port);
    ::sendto(socket_, static_cast<const char*>(data), int(length), 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  }
  template <class Bytes>
  void sendTo(uint16_t port, const Bytes& b) { sendTo(port, b.data(), b.size()); }

  // Turns the main loop until a datagram arrives; its bytes and sender port, or false.
  bool receive(std::string* data, uint16_t* fromPort = nullptr, unsigned timeoutMs = 3000) {
    return pumpUntil([&] { return poll(data, fromPort); }, timeoutMs);
  }

  // Turns the main loop for a while; true when nothing arrived meanwhile.
  bool quiet(unsigned ms = 150) {
    std::string ignored;
    return !pumpUntil([&] { return poll(&ignored, nullptr); }, ms);
  }

private:
  bool poll(std::string* data, uint16_t* fromPort) {
    char buffer[4096];
    sockaddr_in from{};
    int size = sizeof from;
    int n = recvfrom(socket_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
    if (n < 0) return false;
    data->assign(buffer, size_t(n));
    if (fromPort) *fromPort = ntohs(from.sin_port);
    return true;
  }

  SOCKET socket_;
  uint16_t port_ = 0;
};

}  // namespace test
