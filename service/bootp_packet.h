#pragma once
// BootpPacket: a BOOTP message in its wire layout, multi-byte fields in network
// byte order. A request becomes its reply in place, so everything the device
// sent (xid, flags, chaddr, cookie, the whole option area) goes back unchanged.
//
//   BootpPacket p;
//   if (!p.assign(data, length) || !p.isValidRequest()) return;   // dropped
//   std::string vendor = p.optionString(60);
//   p.makeReply(client, "bootfile");
//   server->send(p, INADDR_BROADCAST, 68);
//
// Nothing here reads past the bytes that came off the wire: an option walk
// stops at the end of those bytes (or of the option area), and an option whose
// length runs past that end is absent.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct BootpPacket {
  static constexpr size_t kWireSize = 2288;
  static constexpr size_t kHeaderSize = 240;  // everything before the options
  static constexpr size_t kOptionAreaSize = 2048;
  static constexpr uint8_t kRequest = 1;
  static constexpr uint8_t kReply = 2;
  static constexpr uint8_t kPad = 0;
  static constexpr uint8_t kEnd = 255;

  uint8_t opcode;
  uint8_t htype;
  uint8_t hlen;
  uint8_t hops;
  uint32_t xid;
  uint16_t secs;
  uint16_t unused;  // the flags word of later standards; echoed
  uint32_t ciaddr;
  uint32_t yiaddr;
  uint32_t siaddr;
  uint32_t giaddr;
  uint8_t chaddr[16];
  char sname[64];
  char file[128];
  uint8_t cookie[4];  // neither checked nor set
  uint8_t vend[kOptionAreaSize];

  // Not part of the wire layout: how many bytes of the above are real. A
  // packet built here is whole; one taken from a datagram is as long as it was.
  uint32_t received;

  // Opcode 0, the end code as the first option byte, everything else zero.
  BootpPacket();

  // Copies a datagram over the packet; the bytes it does not cover become
  // zero. A datagram longer than the wire layout is refused (false) whole
  // rather than cut, since its options would be read from a truncated area.
  bool assign(const void* data, size_t length);

  // A BOOTREQUEST from an Ethernet client that has no address yet, sent
  // directly (no relay), with its whole fixed part present.
  bool isValidRequest() const;

  // The data bytes of the first option with this code; empty when absent.
  std::string option(uint8_t code) const;
  std::string optionString(uint8_t code) const { return option(code); }

  // Bytes to send: the fixed part and the options through the end code, or
  // through the last real byte when there is no end code.
  size_t length() const;

  // Rewrites the request into its reply. The server address is the local
  // address facing the client (see bootp.cpp for the form that finds it).
  void makeReply(uint32_t clientAddress, uint32_t serverAddress, std::string_view bootFile);
  void makeReply(uint32_t clientAddress, std::string_view bootFile);

  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(this); }

private:
  // End of the bytes an option walk may look at, from the packet's start.
  size_t walkLimit() const;
};
