#pragma once
// UdpSocket: one IPv4 UDP socket whose datagrams arrive on the GUI thread as
// UdpEvents, through the process-wide NullWindow; nothing blocks.
//
//   Ref<UdpSocket> s = makeRef<UdpSocket>();
//   s->setReuseAddress(true);
//   s->bind(69);
//   s->setListener(makeDelegate(this, &Server::onDatagram));
//
// Addresses are 32-bit values in network byte order; ports are host order.

#include <winsock2.h>

#include <cstdint>

#include "base/event.h"

class UdpEvent : public IMsgEvent {
public:
  UdpEvent(bool error, uint32_t length, const uint8_t* data, uint32_t address, uint32_t port)
      : error_(error), length_(length), data_(data), address_(address), port_(port) {}
  virtual bool isError() const { return error_; }
  virtual uint32_t length() const { return length_; }
  // Valid only during the listener call.
  virtual const uint8_t* data() const { return data_; }
  virtual uint32_t address() const { return address_; }
  virtual uint32_t port() const { return port_; }

private:
  bool error_;
  uint32_t length_;
  const uint8_t* data_;
  uint32_t address_;
  uint32_t port_;
};

class UdpSocket : public RefCounted<> {
public:
  static constexpr size_t kReceiveBufferSize = 4096;

  UdpSocket();
  ~UdpSocket() override;

  virtual bool bind(uint16_t port);
  virtual bool connect(uint32_t address, uint16_t port);
  virtual bool send(const void* data, size_t length);
  virtual bool sendTo(const void* data, size_t length, uint32_t address, uint16_t port);
  virtual bool setReuseAddress(bool on);
  virtual bool setBroadcast(bool on);
  virtual void setListener(EventListener* listener);

  bool isValid() const { return socket_ != INVALID_SOCKET; }
  int messageNumber() const { return message_; }

private:
  void onNotify(IMsgEvent* event);
  void closeSocket();
  bool setFlag(int option, bool on);

  Ref<EventListener> listener_;
  int message_ = -1;
  SOCKET socket_ = INVALID_SOCKET;  // owned
};

// The local address on the peer's subnet; see the .cpp for the fall-backs.
uint32_t localAddressFor(uint32_t peer);
