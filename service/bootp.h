#pragma once
// BootpServer: the socket on which BOOTP requests arrive and replies leave.
// Each datagram reaches the one listener as a BootpEvent holding its own copy
// of the packet, which the listener may turn into the reply and send back:
//
//   Ref<BootpServer> bootp = makeRef<BootpServer>();
//   bootp->bind(67);
//   bootp->setListener(makeDelegate(this, &Service::onBootpRequest));
//   ...in onBootpRequest: packet->makeReply(client, "bootfile");
//                         bootp->send(*packet, INADDR_BROADCAST, 68);

#include <cstdint>

#include "base/event.h"
#include "service/bootp_packet.h"
#include "service/udp.h"

class BootpEvent : public IMsgEvent {
public:
  BootpEvent(bool error, uint32_t address, uint32_t port, const BootpPacket& packet)
      : error_(error), address_(address), port_(port), packet_(packet) {}
  virtual bool isError() const { return error_; }
  virtual uint32_t address() const { return address_; }
  virtual uint32_t port() const { return port_; }
  // The event's own copy; the listener may edit it in place.
  virtual BootpPacket* packet() { return &packet_; }

private:
  bool error_;
  uint32_t address_;  // network order
  uint32_t port_;     // host order
  BootpPacket packet_;
};

class BootpServer : public RefCounted<> {
public:
  BootpServer();
  ~BootpServer() override;

  virtual bool bind(uint16_t port);
  // Sends the packet's first length() bytes; true when all of them went.
  virtual bool send(const BootpPacket& packet, uint32_t address, uint16_t port);
  virtual void setListener(EventListener* listener);

private:
  void onDatagram(IMsgEvent* event);

  Ref<UdpSocket> socket_;
  Ref<EventListener> listener_;
};
